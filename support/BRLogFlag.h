#pragma once

// One bit per message kind.
enum BRLogFlag : unsigned {
    BRLogFlagError = 1,
    BRLogFlagWarning = 2,
    BRLogFlagInfo = 4,
    BRLogFlagDebug = 8,
    BRLogFlagVerbose = 16,
};

// A mask of enabled flags.
enum BRLogLevel : unsigned {
    BRLogLevelOff = 0,
    BRLogLevelError = 1,
    BRLogLevelWarning = 3,
    BRLogLevelInfo = 7,
    BRLogLevelDebug = 15,
    BRLogLevelVerbose = 31,
};
