// velmar - the command-line tool for show authors.
//
// One binary with subcommands (commands.h). Each reads the show's files with
// the program's own readers and prints JSON; a bad file gets one line on
// standard error and exit code 2.
#include <stdio.h>
#include <string.h>

#include "../../frame/frame.h"
#include "commands.h"
#include "tool.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

#define VELMAR_ENTRY(name, fn, summary) {name, fn, summary},
const Command kCommands[] = {VELMAR_COMMANDS(VELMAR_ENTRY)};
#undef VELMAR_ENTRY

void usage(FILE* to) {
    fprintf(to, "usage: velmar COMMAND [ARGS] (velmar COMMAND --help for each)\n\ncommands:\n");
    for (const Command& c : kCommands) fprintf(to, "  %-12s %s\n", c.name, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !strcmp(argv[1], "--help") || !strcmp(argv[1], "-h") || !strcmp(argv[1], "help")) {
        usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!strcmp(argv[1], "--version")) {
        printf("velmar %s\n", VELMAR_VERSION);
        return 0;
    }
    const Command* cmd = nullptr;
    for (const Command& c : kCommands)
        if (!strcmp(c.name, argv[1])) cmd = &c;
    if (!cmd) {
        fprintf(stderr, "velmar: unknown command \"%s\"\n", argv[1]);
        usage(stderr);
        return 2;
    }
    // Bind Base quietly (no -v): memory and module loading, no debug.log.
    char* baseArgv[] = {argv[0], nullptr};
    if (!BaseTryBind(BaseDefaultPath(), 1, baseArgv)) {
        fprintf(stderr, "velmar: %s not found\n", BaseDefaultPath());
        return 2;
    }
    SetFailHook([](FailKind kind, int code, const char* message) {
        std::string m = message ? message : "";
        if (kind == FailRunError)
            throw ToolFailure{m.empty() ? "run-time error " + std::to_string(code) : m};
        throw ToolFailure{m};
    });
    try {
        return cmd->run(argc - 2, argv + 2);
    } catch (const ToolFailure& f) {
        fprintf(stderr, "velmar %s: %s\n", cmd->name, PrintableText(f.message).c_str());
        return 2;
    }
}
