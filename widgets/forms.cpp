#include "forms.h"

TFormMainBase *FormMain = nullptr;
TDMBase *DM = nullptr;
