#pragma once

#include "cli/CShard.h"
#include "core/CDomainRecord.h"

#include <array>
#include <string>
#include <vector>

// The command line of tallyvine-scan:
//   tallyvine-scan [--metrics LIST] [--interval MS] [--shard K/N] [--output FILE] [--quiet]
//                  [LISTFILE]
struct CScanOptions {
    // Ticked metrics in column order; PR is always ticked.
    std::array<bool, kMetricCount> bMetrics{true,  true, true,  false, false,
                                            false, true, false, false, false};
    int nInterval = 1000;
    CShard shard;          // the part of the list this run scans; 1/1 is all of it
    std::string strOutput; // empty or "-": standard output
    std::string strList;   // empty or "-": standard input
    bool bQuiet = false;
    bool bHelp = false;

    // Reads the arguments after the program name. False on bad usage, with a
    // one-line reason in strError.
    static bool Parse(const std::vector<std::string>& args, CScanOptions& options,
                      std::string& strError);
    // Reads a comma-separated list of metric ids (case does not matter).
    static bool ParseMetrics(const std::string& strList, std::array<bool, kMetricCount>& bMetrics,
                             std::string& strError);
    // Reads a whole number of milliseconds from 0 to 10000.
    static bool ParseInterval(const std::string& strText, int& nInterval, std::string& strError);

    static const char* Usage();
    static const char* Help();
};
