#pragma once
// The upgrade tool's application object: runs the upgrade dialog modally as the
// main window and ends the process when it ends.
#include "afx/afxwin.h"

class CNibflashApp : public CWinApp {
 public:
  BOOL InitInstance() override;
  DECLARE_MESSAGE_MAP()
};

extern CNibflashApp theApp;
