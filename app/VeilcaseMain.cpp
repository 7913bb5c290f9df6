// veilcase: the background program. See CVeilcaseApp for its jobs and
// "veilcase --help" for its command line.
#include <vector>

#include "app/DemoJob.h"
#include "app/VeilcaseApp.h"

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
