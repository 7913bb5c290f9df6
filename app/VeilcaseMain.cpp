// veilcase: the background program. See CVeilcaseApp for its jobs and
// "veilcase --help" for its command line.
#include <vector>

#include "app/DemoJob.h"
#include "app/VeilcaseApp.h"

// Memory that fontconfig keeps for the life of the process (loaded once by
// the toolkit's font database) is no leak of ours; only the sanitizer
// build's LeakSanitizer asks for this.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
    std::vector<CString> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(CString::FromUtf8(argv[i]));
    CVeilcaseApp::SCommandLine commandLine = CVeilcaseApp::ParseCommandLine(arguments);
    if (commandLine.command == CVeilcaseApp::eDemo)
        return RunDemoJob();
    CVeilcaseApp app;
    return app.Run(commandLine);
}
