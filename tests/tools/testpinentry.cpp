// A pinentry for tests: speaks the Assuan pinentry protocol on standard input
// and output and answers GETPIN as the test chose, without any user.
//
// The answer comes from TESTPINENTRY_MODE when gpg-agent passed it on, else
// from the file testpinentry.mode in the GnuPG home (found through GNUPGHOME
// or the agent's own --homedir argument):
//   ok:<passphrase>   hand out the passphrase
//   wrong             hand out a passphrase that is never right
//   cancel            report the prompt as cancelled by the user
// Every command received is appended to testpinentry.log beside the mode file.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <iterator>
#include <vector>

namespace {

std::string g_home;

std::string ParentHomeDir()
{
    std::ifstream in("/proc/" + std::to_string(getppid()) + "/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    std::string cur;
    for (char c : all) {
        if (c == '\0') {
            args.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--homedir")
            return args[i + 1];
    return {};
}

std::string FindHome()
{
    if (const char* h = getenv("GNUPGHOME"); h && *h)
        return h;
    return ParentHomeDir();
}

std::string Mode()
{
    if (const char* m = getenv("TESTPINENTRY_MODE"); m && *m)
        return m;
    if (g_home.empty())
        return "cancel";
    std::ifstream in(g_home + "/testpinentry.mode");
    std::string mode;
    std::getline(in, mode);
    return mode.empty() ? "cancel" : mode;
}

void Log(const std::string& line)
{
    if (g_home.empty())
        return;
    std::ofstream out(g_home + "/testpinentry.log", std::ios::app);
    out << line << '\n';
}

// Assuan data lines escape '%', CR, LF and other control characters.
std::string Escape(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '%' || c < 0x20) {
            char buf[4];
            snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Reply(const std::string& line)
{
    std::cout << line << '\n' << std::flush;
}

} // namespace

int main()
{
    g_home = FindHome();
    Reply("OK Pleased to meet you");
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::string command = line.substr(0, line.find(' '));
        Log(line);
        if (command == "BYE") {
            Reply("OK closing connection");
            return 0;
        }
        if (command == "GETINFO") {
            std::string what = line.size() > 8 ? line.substr(8) : "";
            if (what == "pid")
                Reply("D " + std::to_string(getpid()));
            else if (what == "version")
                Reply("D 1.2.1");
            else if (what == "flavor")
                Reply("D test");
            else if (what == "ttyinfo")
                Reply("D - - -");
            Reply("OK");
            continue;
        }
        if (command == "GETPIN") {
            std::string mode = Mode();
            if (mode.rfind("ok:", 0) == 0) {
                Reply("D " + Escape(mode.substr(3)));
                Reply("OK");
            } else if (mode == "wrong") {
                Reply("D " + Escape("this is not the passphrase"));
                Reply("OK");
            } else {
                Reply("ERR 83886179 Operation cancelled <Pinentry>");
            }
            continue;
        }
        // SETDESC, SETPROMPT, OPTION, CONFIRM, MESSAGE and the rest: accepted.
        Reply("OK");
    }
    return 0;
}
