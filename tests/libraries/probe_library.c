/*
 * A command library for the end-to-end tests.  Its command text is a list
 * of operations separated by blanks; each runs in turn and what it returned
 * is written, one line each, to the report file named by VORLA_PROBE_REPORT
 * (unbuffered, so that it can be read while the process still runs).
 *
 * Values use escapes: \s blank, \t tab, \n line feed, \\ backslash, \xHH.
 *
 * The command text itself is always reported first, escaped.
 *
 *   text            as the first word: run nothing, so any arguments may follow
 *   slots           report which slots are filled
 *   line=V          PutLine(V)
 *   put=S:V         PutText(V, S)
 *   fill=N:S        PutText of N letters x with selector S
 *   getline         GetLine into a 512-byte buffer
 *   gettext=N       GetText with size N (selector 0); gettext=N:S with selector S
 *   shell=V         RunShell(V); shellnull: RunShell(null)
 *   nulls           every text service given null
 *   key             GetKey; poll: PollKey
 *   keys=N          N GetKey calls, each code also printed with PutLine
 *   sleep=MS        pause
 *   status=N        store N in the result cell
 *   exit=N          end the process with exit(N) from inside the call
 */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "console_services.h"

static int reportFile = -1;

static void Report(const char *format, ...) __attribute__((format(printf, 1, 2)));

static void Report(const char *format, ...)
{
    char line[4096];
    va_list arguments;
    int length;
    va_start(arguments, format);
    length = vsnprintf(line, sizeof line - 1, format, arguments);
    va_end(arguments);
    if (length < 0) return;
    if ((size_t)length > sizeof line - 2) length = (int)sizeof line - 2;
    line[length++] = '\n';
    if (reportFile >= 0 && write(reportFile, line, (size_t)length) < 0) return;
}

/* Escapes text for a report line: printable ASCII stays, the rest as \xHH. */
static void Escape(const char *text, size_t size, char *out, size_t room)
{
    size_t used = 0, i;
    for (i = 0; i < size && used + 5 < room; ++i) {
        unsigned char c = (unsigned char)text[i];
        if (c == '\\') { out[used++] = '\\'; out[used++] = '\\'; }
        else if (c > 32 && c < 127) out[used++] = (char)c;
        else used += (size_t)sprintf(out + used, "\\x%02x", c);
    }
    out[used] = '\0';
}

/* Undoes the escapes of a value in place. */
static void Unescape(char *value)
{
    char *in = value, *out = value;
    while (*in) {
        if (in[0] == '\\' && in[1] != '\0') {
            ++in;
            switch (*in) {
            case 's': *out++ = ' '; break;
            case 't': *out++ = '\t'; break;
            case 'n': *out++ = '\n'; break;
            case 'x': {
                char hex[3] = {in[1], in[1] ? in[2] : '\0', '\0'};
                *out++ = (char)strtol(hex, NULL, 16);
                in += 2;
                break;
            }
            default: *out++ = *in; break;
            }
            ++in;
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';
}

static void ReportBuffer(const char *name, const char *got, const char *buffer, size_t size)
{
    static char escaped[8192];
    if (got == NULL) {
        Report("%s null %s", name, buffer[0] == 'Z' ? "untouched" : "touched");
        return;
    }
    if (got != buffer) {
        Report("%s wrong-address", name);
        return;
    }
    if (memchr(buffer, '\0', size) == NULL) {
        Report("%s unterminated", name);
        return;
    }
    Escape(buffer, strlen(buffer), escaped, sizeof escaped);
    Report("%s \"%s\" %s", name, escaped, buffer[strlen(buffer) + 1] == 'Z' ? "" : "overrun");
}

static void Sleep(long milliseconds)
{
    struct timespec pause;
    pause.tv_sec = milliseconds / 1000;
    pause.tv_nsec = (milliseconds % 1000) * 1000000L;
    nanosleep(&pause, NULL);
}

static void RunOperation(const ConsoleServices *services, char *operation, int32_t *result)
{
    char *value = strchr(operation, '=');
    if (value) *value++ = '\0';
    if (value) Unescape(value);

    if (strcmp(operation, "line") == 0) {
        Report("line %d", (int)services->PutLine(value));
    } else if (strcmp(operation, "put") == 0) {
        char *text = strchr(value, ':');
        *text++ = '\0';
        Report("put %d", (int)services->PutText(text, (int32_t)atoi(value)));
    } else if (strcmp(operation, "fill") == 0) {
        long count = atol(value);
        char *text = malloc((size_t)count + 1);
        memset(text, 'x', (size_t)count);
        text[count] = '\0';
        Report("fill %d", (int)services->PutText(text, (int32_t)atoi(strchr(value, ':') + 1)));
        free(text);
    } else if (strcmp(operation, "getline") == 0) {
        char buffer[ConsoleLineSize + 8];
        memset(buffer, 'Z', sizeof buffer);
        ReportBuffer("getline", services->GetLine(buffer), buffer, sizeof buffer);
    } else if (strcmp(operation, "gettext") == 0) {
        static char buffer[70000];
        char *selector = strchr(value, ':');
        int32_t size = (int32_t)atoi(value);
        memset(buffer, 'Z', sizeof buffer);
        ReportBuffer("gettext",
                     services->GetText(buffer, size, selector ? (int32_t)atoi(selector + 1) : 0),
                     buffer, sizeof buffer);
    } else if (strcmp(operation, "shell") == 0) {
        Report("shell %d", (int)services->RunShell(value));
    } else if (strcmp(operation, "shellnull") == 0) {
        Report("shellnull %d", (int)services->RunShell(NULL));
    } else if (strcmp(operation, "nulls") == 0) {
        Report("nulls %d %d %s %s", (int)services->PutLine(NULL), (int)services->PutText(NULL, 0),
               services->GetLine(NULL) ? "buffer" : "null",
               services->GetText(NULL, 5, 0) ? "buffer" : "null");
    } else if (strcmp(operation, "key") == 0) {
        Report("key %d", (int)services->GetKey());
    } else if (strcmp(operation, "poll") == 0) {
        Report("poll %d", (int)services->PollKey());
    } else if (strcmp(operation, "keys") == 0) {
        int count = atoi(value), i;
        for (i = 0; i < count; ++i) {
            char line[32];
            int code = (int)services->GetKey();
            sprintf(line, "code %d", code);
            Report("%s", line);
            services->PutLine(line);
        }
    } else if (strcmp(operation, "sleep") == 0) {
        Sleep(atol(value));
    } else if (strcmp(operation, "status") == 0) {
        *result = (int32_t)atol(value);
    } else if (strcmp(operation, "exit") == 0) {
        exit(atoi(value));
    } else if (strcmp(operation, "slots") == 0) {
        Report("slots %d%d%d%d%d%d%d%d", services->PutLine != NULL, services->GetLine != NULL,
               services->PutText != NULL, services->GetText != NULL, services->RunShell != NULL,
               services->Reserved != NULL, services->GetKey != NULL, services->PollKey != NULL);
    } else {
        Report("unknown %s", operation);
    }
}

VORLA_EXPORT void VORLA_CALL CallCommand(const ConsoleServices *services,
                                         const char *commandText, int32_t *result)
{
    static char copy[1024];
    static char escaped[4096];
    const char *path = getenv("VORLA_PROBE_REPORT");
    char *operation;
    if (path) reportFile = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (reportFile >= 0 && reportFile <= 2) {
        /* A closed standard stream must stay closed. */
        int above = fcntl(reportFile, F_DUPFD_CLOEXEC, 3);
        close(reportFile);
        reportFile = above;
    }
    Report("result-cell %d", (int)*result);
    Escape(commandText, strlen(commandText), escaped, sizeof escaped);
    Report("text %s", escaped);

    strncpy(copy, commandText, sizeof copy - 1);
    operation = strtok(copy + 5, " \t");
    if (operation && strcmp(operation, "text") == 0) operation = NULL;
    for (; operation; operation = strtok(NULL, " \t")) RunOperation(services, operation, result);
    Report("done");
    if (reportFile >= 0) close(reportFile);
}
