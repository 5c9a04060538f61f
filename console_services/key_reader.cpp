#include "key_reader.h"

#include <cstdlib>

namespace vorla {

bool IsQualifyingKeyPress(const InputEvent &event) {
    if (event.kind != InputEvent::Kind::Key || !event.key.pressed) return false;
    return event.key.character != 0 || ExtendedKeyCode(event.key).has_value();
}

std::int32_t ReadKey(ConsoleInput *device, PendingCode &pending) {
    if (pending.held) {
        pending.held = false;
        return pending.code;
    }
    if (device == nullptr) return -1;
    // Without the mode in hand it could not be put back: read nothing.
    if (!device->SaveMode()) return -1;

    std::int32_t result = -1;
    if (device->SetRawMode()) {
        InputEvent event;
        while (device->ReadEvent(event)) {
            if (event.kind != InputEvent::Kind::Key || !event.key.pressed) continue;
            if (event.key.character != 0) {
                result = event.key.character;
                break;
            }
            if (const std::optional<CodePair> pair = ExtendedKeyCode(event.key)) {
                result = pair->lead;
                pending.held = true;
                pending.code = pair->second;
                break;
            }
        }
    }
    device->RestoreMode();
    return result;
}

bool KeyPending(ConsoleInput *device, const PendingCode &pending) {
    if (pending.held) return true;
    if (device == nullptr) return false;
    std::size_t count = 0;
    if (!device->CountEvents(count) || count == 0) return false;
    InputEvent *events = static_cast<InputEvent *>(std::calloc(count, sizeof(InputEvent)));
    if (events == nullptr) return false;
    std::size_t copied = 0;
    bool found = false;
    if (device->PeekEvents(events, count, copied))
        for (std::size_t i = 0; i < copied && i < count && !found; ++i) found = IsQualifyingKeyPress(events[i]);
    std::free(events);
    return found;
}

std::int32_t PollKeyFrom(ConsoleInput *device, PendingCode &pending) {
    return KeyPending(device, pending) ? ReadKey(device, pending) : 0;
}

}  // namespace vorla
