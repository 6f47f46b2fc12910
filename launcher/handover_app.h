#pragma once
// The launcher's application object: runs the main dialog once and ends with it.
#include "afx/afxwin.h"

class CHandoverApp : public CWinApp {
 public:
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

extern CHandoverApp theApp;
