#ifndef PROGRAMSETUP_H
#define PROGRAMSETUP_H

// What both programs settle before their application object exists, so that an export gives
// the same answer and the same pages in the window and on the command line, on every machine.
class ProgramSetup
{
public:
    // The command-line tool: the process's zone pinned, the report laid out at 96 dots per
    // inch whatever the screen.
    static void beforeCommandLineApplication();
    // The window: the same, and the window's own text and fields scaled with the screen
    // (Windows at 150 %, 144 DPI screens).
    static void beforeWindowApplication();
};

#endif // PROGRAMSETUP_H
