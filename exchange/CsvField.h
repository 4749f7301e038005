#pragma once

#include <string>
#include <string_view>
#include <vector>

// Fields of the CSV export: RFC 4180 quoting, and values that a spreadsheet
// would take for a formula made harmless.

// Appends one field. A value that starts with =, +, -, @, a tab or a carriage
// return is led by a ' so that no spreadsheet runs it; a field is quoted when
// bQuoted or when it holds a comma, a double quote or a line break, and a
// double quote inside a quoted field is doubled. Digits, commas and dots come
// out as they are (in quotes when asked).
void AppendCsvField(std::string& strOut, std::string_view strValue, bool bQuoted);

// Splits one line of the export, without its CR LF, into its fields as an
// RFC 4180 reader does; false when a quoted field is not closed or a quote
// stands inside a bare field.
bool SplitCsvLine(std::string_view strLine, std::vector<std::string>& fields);

// The value a field was made from: the ' that AppendCsvField put before a
// leading formula character is taken off.
std::string_view CsvValue(std::string_view strField);
