#include "common/task_memory.h"

#include "platform/ui/message_box.h"

void NbShowTaskMemoryFailure(LPCWSTR text, LPCWSTR caption) {
    MessageBoxW(nullptr, text, caption, MB_OK);
}
