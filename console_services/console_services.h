/*
 * console_services.h - the one header a vorla command library needs.
 *
 * vorla loads the library "vorla.dll" and calls its entry point CallCommand
 * exactly once.  During that call the library does all of its console work
 * through the ConsoleServices table it is lent: writing lines and text,
 * reading lines, running shell commands and reading single keys.
 *
 *     #include "console_services.h"
 *
 *     VORLA_EXPORT void VORLA_CALL CallCommand(const ConsoleServices *services,
 *                                              const char *commandText,
 *                                              int32_t *result)
 *     {
 *         services->PutLine("hello");
 *         *result = 0;
 *     }
 *
 * The command text is "vorla", a blank, then everything that followed the
 * program's name on its command line, verbatim (so a command with arguments
 * has two separators before its first argument).  The result cell holds -1
 * until the library stores a status; its value becomes the exit status.
 *
 * The table, the command text and the result cell are borrowed for the
 * length of the call only.  The services take no locks: call them from one
 * thread at a time.
 *
 * This header compiles as C (C99 and later) and as C++.
 */
#ifndef VORLA_CONSOLE_SERVICES_H
#define VORLA_CONSOLE_SERVICES_H

#include <stdint.h>

/* Calling convention of every entry point in the table and of CallCommand:
 * cdecl on 32-bit Windows, the platform's default everywhere else. */
#if defined(_WIN32) && !defined(_WIN64)
#  define VORLA_CALL __cdecl
#else
#  define VORLA_CALL
#endif

/* Marks CallCommand as exported from the library. */
#if defined(__cplusplus)
#  define VORLA_EXTERN_C extern "C"
#else
#  define VORLA_EXTERN_C
#endif
#if defined(_WIN32)
#  define VORLA_EXPORT VORLA_EXTERN_C __declspec(dllexport)
#elif defined(__GNUC__)
#  define VORLA_EXPORT VORLA_EXTERN_C __attribute__((visibility("default")))
#else
#  define VORLA_EXPORT VORLA_EXTERN_C
#endif

/* Stream selector for PutText and GetText: this value selects standard
 * error, every other value standard output. */
#define ConsoleStandardError (-1)

/* GetLine is given no size: its buffer must hold ConsoleLineSize bytes.  It
 * stores at most ConsoleLineSize - 1 characters and a terminating zero; the
 * rest of a longer line comes back on the following calls. */
#define ConsoleLineSize 512

/* Status the result cell holds until the library stores one. */
#define ConsoleNoStatus (-1)

#ifdef __cplusplus
extern "C" {
#endif

/* Slot 0: writes text, then a line feed, to standard output.
 * 0 when every character of text went out, -1 otherwise (also for null). */
typedef int32_t (VORLA_CALL *PutLineService)(const char *text);

/* Slot 1: reads one line from standard input into buffer (ConsoleLineSize
 * bytes).  The line feed is consumed but not stored.  Returns buffer, or null
 * at the end of input before any character (buffer untouched) or for a null
 * buffer. */
typedef char *(VORLA_CALL *GetLineService)(char *buffer);

/* Slot 2: writes text unchanged to standard error when selector is
 * ConsoleStandardError, to standard output otherwise.  0 done, -1 failed. */
typedef int32_t (VORLA_CALL *PutTextService)(const char *text, int32_t selector);

/* Slot 3: reads at most size - 1 characters of one line from standard input
 * (for every selector), keeping the line feed when it fits, and adds a
 * terminating zero.  Returns buffer; null when size <= 0, for a null buffer,
 * or at the end of input before any character. */
typedef char *(VORLA_CALL *GetTextService)(char *buffer, int32_t size, int32_t selector);

/* Slot 4: runs command through the system's command interpreter on the
 * inherited standard streams and waits for it.  Returns its exit status,
 * 128 + N when signal N ended it, -1 when it could not be started.  With a
 * null command nothing runs: 1 when an interpreter is available, else 0. */
typedef int32_t (VORLA_CALL *RunShellService)(const char *command);

/* Slot 5 is reserved and holds null. */
typedef void (VORLA_CALL *ReservedService)(void);

/* Slot 6: waits for the next key press on the console keyboard (never
 * standard input), without echo, and returns its code 0..255.  A key without
 * a character gives a lead code (0 or 224) and then, on the next call, a
 * second code.  -1 when there is no console keyboard or reading it failed. */
typedef int32_t (VORLA_CALL *GetKeyService)(void);

/* Slot 7: like GetKey when a key press waits, 0 at once when none does. */
typedef int32_t (VORLA_CALL *PollKeyService)(void);

typedef struct ConsoleServices {
    PutLineService PutLine;   /* slot 0 */
    GetLineService GetLine;   /* slot 1 */
    PutTextService PutText;   /* slot 2 */
    GetTextService GetText;   /* slot 3 */
    RunShellService RunShell; /* slot 4 */
    ReservedService Reserved; /* slot 5: null */
    GetKeyService GetKey;     /* slot 6 */
    PollKeyService PollKey;   /* slot 7 */
} ConsoleServices;

/* The library's entry point, looked up by the name "CallCommand". */
typedef void (VORLA_CALL *CallCommandEntry)(const ConsoleServices *services,
                                            const char *commandText,
                                            int32_t *result);

#ifdef __cplusplus
}
#endif

#endif /* VORLA_CONSOLE_SERVICES_H */
