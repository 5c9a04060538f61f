#include "key_services.h"

#include "console_services/key_reader.h"
#include "platform/platform.h"

namespace vorla {
namespace {

ConsoleInput *keyboard = nullptr;
PendingCode pendingCode;

}  // namespace

void OpenKeyboard() {
    keyboard = platform::OpenConsoleInput();
}

void CloseKeyboard() {
    platform::CloseConsoleInput(keyboard);
    keyboard = nullptr;
}

extern "C" {

int32_t VORLA_CALL GetKey(void) {
    return ReadKey(keyboard, pendingCode);
}

int32_t VORLA_CALL PollKey(void) {
    return PollKeyFrom(keyboard, pendingCode);
}

}  // extern "C"

}  // namespace vorla
