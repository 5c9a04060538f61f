// Reading single keys from a console input device: the algorithm behind
// GetKey and PollKey, written once against ConsoleInput so that each
// operating system puts its own device behind it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console_services/key_tables.h"

namespace vorla {

// Every operation reports failure until a device overrides it.  (Plain
// virtual functions and a protected destructor: the program needs no C++
// run-time support for them.)
class ConsoleInput {
public:
    // Reads the device's input mode and keeps it for RestoreMode.
    virtual bool SaveMode() { return false; }
    // Input mode 0: no echo, no line gathering, no signal keys.
    virtual bool SetRawMode() { return false; }
    // Puts back exactly the mode SaveMode kept.
    virtual bool RestoreMode() { return false; }
    // Removes the next event from the queue, waiting for one.
    virtual bool ReadEvent(InputEvent &) { return false; }
    // The number of queued events; does not wait.
    virtual bool CountEvents(std::size_t &) { return false; }
    // Copies up to capacity queued events without removing them.
    virtual bool PeekEvents(InputEvent *, std::size_t, std::size_t &) { return false; }

protected:
    ~ConsoleInput() = default;
};

// The second code of a two-code key, held until the next GetKey collects it.
struct PendingCode {
    bool held = false;
    std::uint8_t code = 0;
};

// A key press that GetKey would deliver.
bool IsQualifyingKeyPress(const InputEvent &event);

// device null: there is no console input device.
std::int32_t ReadKey(ConsoleInput *device, PendingCode &pending);
bool KeyPending(ConsoleInput *device, const PendingCode &pending);
std::int32_t PollKeyFrom(ConsoleInput *device, PendingCode &pending);

}  // namespace vorla
