// The key services behind slots 6 and 7 of the table, and the console input
// device they read.
#pragma once

#include "console_services/console_services.h"

namespace vorla {

// Program start-up and ending: open and close the console input device.
void OpenKeyboard();
void CloseKeyboard();

extern "C" {
int32_t VORLA_CALL GetKey(void);
int32_t VORLA_CALL PollKey(void);
}

}  // namespace vorla
