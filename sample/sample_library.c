/*
 * The sample command library: build it as "vorla.dll" beside vorla.
 *
 *     vorla help            lists the commands
 *     vorla echo WORDS      prints WORDS exactly as typed
 *     vorla cat             copies standard input to standard output
 *     vorla ask QUESTION    asks on standard error, answers on standard output
 *     vorla run COMMAND     runs COMMAND through the shell, ends with its status
 *     vorla exit N          ends with status N
 *     vorla keys            shows the codes of each key pressed (Esc twice ends)
 *     vorla poll            counts while no key is pressed, then shows the key
 *
 * Everything goes through the service table: the library never touches the
 * standard streams or the keyboard itself.
 */
#if !defined(_WIN32)
#  define _POSIX_C_SOURCE 200809L
#endif
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#  include <windows.h>
static void Pause(void) { Sleep(100); }
#else
#  include <time.h>
static void Pause(void)
{
    struct timespec tenth = {0, 100000000L};
    nanosleep(&tenth, NULL);
}
#endif

#include "console_services.h"

typedef int (*Command)(const ConsoleServices *services, const char *arguments);

static const char *SkipBlanks(const char *text)
{
    while (*text == ' ' || *text == '\t') ++text;
    return text;
}

/* The next word of text: its start and length; returns what follows it. */
static const char *NextWord(const char *text, const char **word, size_t *length)
{
    text = SkipBlanks(text);
    *word = text;
    while (*text != '\0' && *text != ' ' && *text != '\t') ++text;
    *length = (size_t)(text - *word);
    return text;
}

static int Help(const ConsoleServices *services, const char *arguments)
{
    (void)arguments;
    services->PutLine("commands:");
    services->PutLine("  help            this list");
    services->PutLine("  echo WORDS      print WORDS exactly as typed");
    services->PutLine("  cat             copy standard input to standard output");
    services->PutLine("  ask QUESTION    ask on standard error, print the answer");
    services->PutLine("  run COMMAND     run COMMAND through the shell, end with its status");
    services->PutLine("  exit N          end with status N");
    services->PutLine("  keys            show the codes of each key pressed; Esc twice ends");
    services->PutLine("  poll            count while no key is pressed, then show the key");
    return 0;
}

static int Echo(const ConsoleServices *services, const char *arguments)
{
    return services->PutLine(SkipBlanks(arguments)) == 0 ? 0 : 1;
}

static int Cat(const ConsoleServices *services, const char *arguments)
{
    char chunk[4096];
    (void)arguments;
    while (services->GetText(chunk, (int32_t)sizeof chunk, 0) != NULL) {
        if (services->PutText(chunk, 0) != 0) return 1;
    }
    return 0;
}

static int Ask(const ConsoleServices *services, const char *arguments)
{
    char answer[ConsoleLineSize];
    const char *question = SkipBlanks(arguments);
    services->PutText(*question != '\0' ? question : "?", ConsoleStandardError);
    services->PutText(" ", ConsoleStandardError);
    if (services->GetLine(answer) == NULL) {
        services->PutText("no answer\n", ConsoleStandardError);
        return 1;
    }
    services->PutText("answer: ", 0);
    services->PutLine(answer);
    return 0;
}

static int Run(const ConsoleServices *services, const char *arguments)
{
    const char *command = SkipBlanks(arguments);
    if (*command == '\0') {
        services->PutText("run: which command?\n", ConsoleStandardError);
        return 2;
    }
    return services->RunShell(command);
}

static int Exit(const ConsoleServices *services, const char *arguments)
{
    char *end = NULL;
    const char *number = SkipBlanks(arguments);
    long status = strtol(number, &end, 10);
    if (end == number || *SkipBlanks(end) != '\0') {
        services->PutText("exit: give a whole number\n", ConsoleStandardError);
        return 2;
    }
    return (int)status;
}

/* One line for one key: its code or codes, and the character if printable. */
static void ShowKey(const ConsoleServices *services, int first, int second)
{
    char line[64];
    if (second >= 0)
        sprintf(line, "%3d %3d", first, second);
    else if (first > 32 && first < 127)
        sprintf(line, "%3d     '%c'", first, first);
    else
        sprintf(line, "%3d", first);
    services->PutLine(line);
}

/* Reads one key; a lead code 0 or 224 brings its second code along. */
static int ReadKey(const ConsoleServices *services, int *second)
{
    int code = services->GetKey();
    *second = -1;
    if (code == 0 || code == 224) *second = services->GetKey();
    return code;
}

static int Keys(const ConsoleServices *services, const char *arguments)
{
    int escapes = 0;
    (void)arguments;
    services->PutText("Press keys to see their codes; Esc twice ends.\n", ConsoleStandardError);
    while (escapes < 2) {
        int second;
        int code = ReadKey(services, &second);
        if (code < 0) {
            services->PutText("keys: no console keyboard\n", ConsoleStandardError);
            return 1;
        }
        ShowKey(services, code, second);
        escapes = (code == 27) ? escapes + 1 : 0;
    }
    return 0;
}

/* PollKey in a loop that has other work to do.  A key without a character
 * gives its lead code 0 through PollKey, the same value as "no key": its
 * second code follows on the next call. */
static int Poll(const ConsoleServices *services, const char *arguments)
{
    char line[64];
    int ticks, code = 0;
    (void)arguments;
    services->PutText("Counting tenths of a second until a key is pressed.\n", ConsoleStandardError);
    for (ticks = 0; ticks < 600 && (code = services->PollKey()) == 0; ++ticks) {
        Pause();
        if (ticks % 10 == 9) {
            sprintf(line, "%d s\r", (ticks + 1) / 10);
            services->PutText(line, ConsoleStandardError);
        }
    }
    if (code <= 0) {
        services->PutLine("no key");
        return 1;
    }
    sprintf(line, "after %d tenths: %d", ticks, code);
    services->PutLine(line);
    return 0;
}

struct Entry {
    const char *name;
    Command run;
};

static const struct Entry Commands[] = {
    {"help", Help}, {"echo", Echo}, {"cat", Cat},   {"ask", Ask},
    {"run", Run},   {"exit", Exit}, {"keys", Keys}, {"poll", Poll},
};

VORLA_EXPORT void VORLA_CALL CallCommand(const ConsoleServices *services,
                                         const char *commandText, int32_t *result)
{
    const char *word;
    size_t length, i;
    /* The command text starts with the command word "vorla". */
    const char *rest = NextWord(commandText, &word, &length);
    rest = NextWord(rest, &word, &length);
    if (length == 0) {
        *result = Help(services, rest);
        return;
    }
    for (i = 0; i < sizeof Commands / sizeof Commands[0]; ++i) {
        if (strlen(Commands[i].name) == length && strncmp(Commands[i].name, word, length) == 0) {
            *result = Commands[i].run(services, rest);
            return;
        }
    }
    {
        char name[64];
        if (length >= sizeof name) length = sizeof name - 1;
        memcpy(name, word, length);
        name[length] = '\0';
        services->PutText("unknown command: ", ConsoleStandardError);
        services->PutText(name, ConsoleStandardError);
        services->PutText("\ntry: vorla help\n", ConsoleStandardError);
    }
    *result = 1;
}
