// The daily diagnostic log: WriteLog appends one time-stamped line per call
// to the shared file of the day and echoes it to the console and, when a
// debugger is attached, to the debugger output.
#pragma once

// Log levels (the first argument of WriteLog); any other value is logged
// without a console prefix.
enum ELogLevel : int {
    eLogDebug = 0,
    eLogWarning = 1,
    eLogError = 2,
    eLogChild = 3,
};

// Formats the message with the Windows wide printf rules (%s = char16_t*
// string, %S = narrow UTF-8 string), cuts it to 1023 UTF-16 units and logs
// it. Never throws: when the log folder or file cannot be made, the line goes
// only to the console and the next call tries the file again.
void WriteLog(int level, const char16_t* format, ...);

// Logs `message` as it stands, without treating any '%' in it as a format
// directive (same cut, same destinations as WriteLog).
void WriteLogText(int level, const char16_t* message);

// Closes this process's log file; the next WriteLog opens the file of the
// current day again and writes a fresh header. Used at unload and by tests.
void CloseLogFile();
