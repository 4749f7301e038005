#pragma once

#include "cli/CShard.h"

#include <string>
#include <vector>

// The command line of tallyvine-scan:
//   tallyvine-scan [--metrics LIST] [--interval MS] [--shard K/N] [--format csv|jsonl]
//                  [--output FILE [--resume [--retry-failed]]] [--quiet] [LISTFILE]
//   tallyvine-scan --list-sources
//   tallyvine-scan --update-lists[=IDS] [--metrics LIST]
struct CScanOptions {
    enum class EFormat { Csv, JsonLines };

    // Ticked metrics by their index in the metric table.
    std::vector<bool> bMetrics = DefaultMetrics();
    int nInterval = 1000;
    CShard shard; // the part of the list this run scans; 1/1 is all of it
    EFormat format = EFormat::Csv;
    std::string strOutput;     // empty or "-": standard output
    std::string strList;       // empty or "-": standard input
    bool bResume = false;      // go on from FILE.part or FILE
    bool bRetryFailed = false; // with bResume: ask the failed cells again
    bool bQuiet = false;
    bool bHelp = false;
    bool bListSources = false;
    // List sources answer from cached lists only.
    bool bOffline = false;
    // Refresh the lists of the ticked list sources, or of those named, and exit.
    bool bUpdateLists = false;
    std::vector<std::size_t> arrUpdateIds;

    // Reads the arguments after the program name. False on bad usage, with a
    // one-line reason in strError.
    static bool Parse(const std::vector<std::string>& args, CScanOptions& options,
                      std::string& strError);
    // Reads a comma-separated list of metric ids (case does not matter).
    static bool ParseMetrics(const std::string& strList, std::vector<bool>& bMetrics,
                             std::string& strError);
    // The metrics ticked at start.
    static std::vector<bool> DefaultMetrics();
    // Reads a whole number of milliseconds from 0 to 10000.
    static bool ParseInterval(const std::string& strText, int& nInterval, std::string& strError);
    // Reads a comma-separated list of list sources' ids.
    static bool ParseListIds(const std::string& strList, std::vector<std::size_t>& arrIds,
                             std::string& strError);
    static bool ParseFormat(const std::string& strText, EFormat& format, std::string& strError);
    // The options that go with --resume.
    static bool CheckResume(const CScanOptions& options, std::string& strError);

    static const char* Usage();
    static std::string Help();
};
