#include "forms.h"

TFormMainBase *FormMain = nullptr;
TDMBase *DM = nullptr;

namespace Hooks {
std::function<void()> ApplyLanguage;
std::function<void(int Slot)> WriteRecordRow;
} // namespace Hooks
