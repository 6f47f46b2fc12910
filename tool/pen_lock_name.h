// The system-wide lock a copy of the tool holds while it has a pen open (afx/system_lock.h),
// one name for every version. The installer reads the line below: the name is the C text
// between its quotes, where \\ stands for one backslash.
#define NIBFLASH_PEN_LOCK_NAME "Global\\Maravel.Nibflash.Pen"
