#pragma once

#include <QString>

#include <string>

// Ids of the string table (res/strings.h). The built-in metrics' column
// headers (106 to 112, 117 to 119) are found by their English text, which is
// the metric's id.
enum EStringId : int {
    IDS_ABOUTBOX = 101,
    IDS_TRAY_TIP = 102,
    IDS_QUERYING = 103,
    IDS_COL_NO = 104,
    IDS_COL_DOMAIN = 105,
    IDS_EXIT_CONFIRM = 113,
    IDS_BAD_DOMAIN = 114,
    IDS_READY = 115,
    IDS_STOP_FIRST = 116,
    IDS_IMPORT_FAILED = 120,
    IDS_EXPORT_FAILED = 121,
    IDS_EXPORT_EMPTY = 122,
    IDS_WORKER_FAILED = 123,
    IDS_RESCAN_FAILED = 124,
    IDS_NOTHING_FOUND = 125,
    IDS_FETCHED_AT = 126,
    IDS_READY_WITH = 127,
    IDS_CELLS_FAILED = 128,
    IDS_ALL_FAILED = 129,
    IDS_SOURCE_LEFT_OUT = 130,
    // The reasons of a failed cell, in the order of EFailReason from Dns on.
    IDS_REASON_FIRST = 131,
    IDS_SUSPENDED_UNTIL = 141,
    // The reason after the last in the run from IDS_REASON_FIRST.
    IDS_REASON_UNAVAILABLE = 142,
    IDS_TRAY_ABOUT = 32771,
    IDS_TRAY_EXIT = 32772,
};

// The window's texts by number, in the active language: each id's English
// text is the source text of a translation under the context "CStringTable".
class CStringTable {
public:
    // The text of nId; empty for an id the table does not hold.
    static QString Load(int nId);
    // The table's text whose English is strEnglish, in the active language;
    // strEnglish itself when the table holds no such text.
    static QString LoadText(const std::string& strEnglish);
    // The English text of nId, untranslated; null for an unknown id.
    static const char* SourceText(int nId);
    // nId's text used as a format with one text argument: its first "%s" is
    // replaced by strArgument.
    static QString Format(int nId, const QString& strArgument);
};
