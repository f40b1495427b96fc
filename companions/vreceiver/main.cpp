// vreceiver: a virtual remote-control receiver for kova and its client
// library, driven by commands one a line from script files and/or standard
// input, printing one line per event. See docs/virtual-receiver.md.
//
//   vreceiver [--name NAME] [FILE...]     FILE "-" is standard input; with no
//                                          FILE, standard input is read.

#include "companions/vreceiver/virtual_receiver.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr char DEFAULT_INSTANCE[] = "kova";
constexpr size_t LINE_MAX_CHARS = 16384;

std::mutex g_outputLock;

void PrintLine(const std::string& line)
{
    std::lock_guard<std::mutex> guard(g_outputLock);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Runs the commands of one stream; false once a quit was read.
bool RunStream(VirtualReceiver& receiver, std::FILE* in)
{
    std::vector<char> buffer(LINE_MAX_CHARS + 2);
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), in)) {
        std::string line(buffer.data());
        if (!line.empty() && line.back() != '\n' && line.size() > LINE_MAX_CHARS) {
            // Too long for one command: skip the rest of it.
            int c;
            while ((c = std::fgetc(in)) != EOF && c != '\n') {
            }
            PrintLine("error: line too long");
            continue;
        }
        std::string error;
        if (!receiver.Execute(line, &error)) {
            PrintLine("error: " + error);
        }
        if (receiver.QuitRequested()) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string instance = DEFAULT_INSTANCE;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--name") == 0 && i + 1 < argc) {
            instance = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0) {
            PrintLine("usage: vreceiver [--name NAME] [FILE...]   (FILE - is standard input)");
            return 0;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) {
        files.push_back("-");
    }

    VirtualReceiver receiver(instance, PrintLine);
    if (!receiver.Start()) {
        PrintLine("error: cannot open the receiver '" + instance + "' (bad name, or one is already running)");
        return 1;
    }
    PrintLine("ready " + instance);
    for (const std::string& file : files) {
        if (file == "-") {
            if (!RunStream(receiver, stdin)) {
                break;
            }
            continue;
        }
        std::FILE* in = std::fopen(file.c_str(), "r");
        if (!in) {
            PrintLine("error: cannot read " + file);
            continue;
        }
        bool goOn = RunStream(receiver, in);
        std::fclose(in);
        if (!goOn) {
            break;
        }
    }
    receiver.Stop();
    PrintLine("stopped");
    return 0;
}
