#include "core/CSourceFile.h"

#include "queries/CJqProgram.h"
#include "queries/CMetricQuery.h"
#include "regex/regex.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <system_error>

namespace {

// The flags every reply pattern is compiled with.
constexpr std::uint32_t kPatternFlags =
    regex::ignore_case | regex::global | regex::single_line | regex::all_backrefs;

constexpr std::string_view kKnownFields[] = {
    "id",
    "label",
    "label_zh_CN",
    "url",
    "pattern",
    "none_pattern",
    "interval_ms",
    "order",
    "headers",
    "checksum",
    "parser",
    "later_matches",
    "element_end",
    "none_when_empty",
    "block_hosts",
    "block_paths",
    "block_pattern",
    "jq",
    "none_status",
    "sort",
    "always_asked",
    "ticked",
    "column_width",
    // No longer read: the window keeps the control ids, and a built-in's
    // header is its id. Known still, so that a user's file setting them is
    // told they belong to the built-ins.
    "header_string",
    "control_id",
    "query_place",
    "export_place",
    "quoted",
    "list_url",
    "list_member",
    "list_header",
    "list_separator",
    "list_comments",
    "list_name_column",
    "list_value_column",
    "list_names",
    "list_lookup",
    "list_refresh_hours",
    "list_max_mb",
    "list_min_rows",
    "list_title",
    "list_attribution",
};

std::string Upper(std::string_view strText) {
    std::string strUpper(strText);
    for (char& c : strUpper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return strUpper;
}

bool IsIdText(std::string_view strId) {
    return !strId.empty() && std::isalpha(static_cast<unsigned char>(strId.front())) != 0 &&
           std::all_of(strId.begin(), strId.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

// The first variable a template reads that is not the program's to read;
// empty when none.
std::string ForbiddenVariable(std::string_view strTemplate) {
    for (std::size_t nOpen = strTemplate.find("{env:"); nOpen != std::string_view::npos;
         nOpen = strTemplate.find("{env:", nOpen + 1)) {
        const std::size_t nClose = strTemplate.find('}', nOpen);
        const std::string_view strName = strTemplate.substr(nOpen + 5, nClose - nOpen - 5);
        if (nClose != std::string_view::npos && !CMetricQuery::IsReadableVariable(strName)) {
            return std::string(strName);
        }
    }
    return {};
}

// Why a URL template is no http or https address; empty when it is one. A
// text without a scheme is asked over http.
std::string BadAddress(std::string_view strUrl) {
    if (strUrl.empty()) {
        return "'url' must not be empty";
    }
    if (strUrl.starts_with("http://") || strUrl.starts_with("https://")) {
        return {};
    }
    const std::size_t nSchemeEnd = strUrl.find_first_not_of(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+.-");
    const bool bScheme = nSchemeEnd != 0 && nSchemeEnd != std::string_view::npos &&
                         strUrl[nSchemeEnd] == ':' &&
                         std::isalpha(static_cast<unsigned char>(strUrl.front())) != 0 &&
                         std::isdigit(static_cast<unsigned char>(
                             nSchemeEnd + 1 < strUrl.size() ? strUrl[nSchemeEnd + 1] : 'x')) == 0;
    if (!bScheme) {
        return {};
    }
    return "'url' must be an http or https address (written in lower case), not '" +
           std::string(strUrl.substr(0, nSchemeEnd + 1)) + "'";
}

// The first placeholder of a template that is not one of the known ones;
// empty when all are known.
std::string UnknownPlaceholder(std::string_view strTemplate) {
    for (std::size_t nOpen = strTemplate.find('{'); nOpen != std::string_view::npos;
         nOpen = strTemplate.find('{', nOpen + 1)) {
        const std::size_t nClose = strTemplate.find('}', nOpen);
        if (nClose == std::string_view::npos) {
            return std::string(strTemplate.substr(nOpen));
        }
        const std::string_view strName = strTemplate.substr(nOpen + 1, nClose - nOpen - 1);
        const bool bEnv = strName.starts_with("env:") && IsIdText(strName.substr(4, 1)) &&
                          std::all_of(strName.begin() + 4, strName.end(), [](char c) {
                              return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
                          });
        if (!bEnv && strName != "domain" && strName != "domain_url" && strName != "site" &&
            strName != "token" && strName != "checksum") {
            return "{" + std::string(strName) + "}";
        }
    }
    return {};
}

// Reads the fields of one definition, stopping at the first broken rule.
class CFieldReader {
public:
    CFieldReader(const toml::table& table, std::string strName)
        : m_table(table), m_strName(std::move(strName)) {}

    const std::string& Error() const { return m_strError; }
    bool Failed() const { return !m_strError.empty(); }

    // False, with the error, at the line of the field (or of the file's
    // start for a missing one).
    bool Fail(std::string_view strKey, const std::string& strWhat) {
        if (m_strError.empty()) {
            const toml::node* pNode = strKey.empty() ? nullptr : m_table.get(strKey);
            const auto nLine = pNode != nullptr ? pNode->source().begin.line : 1;
            m_strError = m_strName + ":" + std::to_string(nLine) + ": " + strWhat;
        }
        return false;
    }

    void CheckKnownFields() {
        for (const auto& [key, node] : m_table) {
            if (std::find(std::begin(kKnownFields), std::end(kKnownFields), key.str()) ==
                std::end(kKnownFields)) {
                Fail(key.str(), "unknown field '" + std::string(key.str()) + "'");
            }
        }
    }

    void String(std::string_view strKey, std::string& strOut, bool bRequired = false) {
        const toml::node* pNode = m_table.get(strKey);
        if (pNode == nullptr) {
            if (bRequired) {
                Fail({}, "missing field '" + std::string(strKey) + "'");
            }
            return;
        }
        if (!pNode->is_string()) {
            Fail(strKey, "'" + std::string(strKey) + "' must be a text");
            return;
        }
        strOut = pNode->as_string()->get();
    }

    void Integer(std::string_view strKey, int& nOut, long nMin, long nMax) {
        const toml::node* pNode = m_table.get(strKey);
        if (pNode == nullptr) {
            return;
        }
        if (!pNode->is_integer() || pNode->as_integer()->get() < nMin ||
            pNode->as_integer()->get() > nMax) {
            Fail(strKey, "'" + std::string(strKey) + "' must be a whole number from " +
                             std::to_string(nMin) + " to " + std::to_string(nMax));
            return;
        }
        nOut = static_cast<int>(pNode->as_integer()->get());
    }

    void Boolean(std::string_view strKey, bool& bOut) {
        const toml::node* pNode = m_table.get(strKey);
        if (pNode == nullptr) {
            return;
        }
        if (!pNode->is_boolean()) {
            Fail(strKey, "'" + std::string(strKey) + "' must be true or false");
            return;
        }
        bOut = pNode->as_boolean()->get();
    }

    void Texts(std::string_view strKey, std::vector<std::string>& arrOut) {
        const toml::node* pNode = m_table.get(strKey);
        if (pNode == nullptr) {
            return;
        }
        const toml::array* pArray = pNode->as_array();
        if (pArray == nullptr || !pArray->is_homogeneous(toml::node_type::string)) {
            Fail(strKey, "'" + std::string(strKey) + "' must be a list of texts");
            return;
        }
        for (const toml::node& element : *pArray) {
            arrOut.push_back(element.as_string()->get());
        }
    }

    // One of the words of a closed set; the index of the word taken.
    void Choice(std::string_view strKey, std::initializer_list<std::string_view> words,
                std::size_t& nOut) {
        std::string strWord;
        String(strKey, strWord);
        if (strWord.empty() || Failed()) {
            return;
        }
        const auto it = std::find(words.begin(), words.end(), strWord);
        if (it == words.end()) {
            std::string strKnown;
            for (std::string_view word : words) {
                strKnown += (strKnown.empty() ? "" : ", ") + std::string(word);
            }
            Fail(strKey, "'" + std::string(strKey) + "' must be one of " + strKnown);
            return;
        }
        nOut = static_cast<std::size_t>(it - words.begin());
    }

    // A column by its number from 1 or by its header's name.
    void Column(std::string_view strKey, SListColumn& column) {
        const toml::node* pNode = m_table.get(strKey);
        if (pNode == nullptr) {
            return;
        }
        if (pNode->is_string() && !pNode->as_string()->get().empty()) {
            column = {0, pNode->as_string()->get()};
        } else if (pNode->is_integer() && pNode->as_integer()->get() >= 1 &&
                   pNode->as_integer()->get() <= 1000) {
            column = {static_cast<int>(pNode->as_integer()->get()), {}};
        } else {
            Fail(strKey, "'" + std::string(strKey) +
                             "' must be a column number from 1 to 1000 or a header's name");
        }
    }

    bool Has(std::string_view strKey) const { return m_table.get(strKey) != nullptr; }

    void Pattern(std::string_view strKey, const std::string& strPattern) {
        if (strPattern.empty() || Failed()) {
            return;
        }
        try {
            const regex::compiled_pattern pattern(strPattern, kPatternFlags);
        } catch (const std::exception& error) {
            Fail(strKey, "'" + std::string(strKey) + "' does not compile: " + error.what());
        }
    }

    // Compiles the jq program now, so that a broken one leaves its file out.
    void JqProgram(std::string_view strKey, std::shared_ptr<const CJqProgram>& pOut) {
        std::string strProgram;
        String(strKey, strProgram);
        if (Failed() || m_table.get(strKey) == nullptr) {
            return;
        }
        std::string strWhy;
        pOut = CJqProgram::Compile(strProgram, strWhy);
        if (pOut == nullptr) {
            Fail(strKey, "'" + std::string(strKey) + "' does not compile: " + strWhy);
        }
    }

    // HTTP statuses from 400 to 599; 429 asks to wait, which is not an answer.
    void Statuses(std::string_view strKey, std::vector<int>& arrOut) {
        const toml::node* pNode = m_table.get(strKey);
        if (pNode == nullptr) {
            return;
        }
        const toml::array* pArray = pNode->as_array();
        const auto bad = [](const toml::node& element) {
            const auto nStatus = element.value<std::int64_t>();
            return !element.is_integer() || *nStatus < 400 || *nStatus > 599 || *nStatus == 429;
        };
        if (pArray == nullptr || std::any_of(pArray->begin(), pArray->end(), bad)) {
            Fail(strKey, "'" + std::string(strKey) +
                             "' must be a list of HTTP statuses from 400 to 599, without 429");
            return;
        }
        for (const toml::node& element : *pArray) {
            arrOut.push_back(static_cast<int>(element.as_integer()->get()));
        }
    }

    void Template(std::string_view strKey, const std::string& strTemplate) {
        const std::string strUnknown = UnknownPlaceholder(strTemplate);
        if (!strUnknown.empty()) {
            Fail(strKey, "unknown placeholder " + strUnknown + " in '" + std::string(strKey) + "'");
        }
        const std::string strVariable = ForbiddenVariable(strTemplate);
        if (!strVariable.empty()) {
            Fail(strKey, "{env:" + strVariable + "} in '" + std::string(strKey) +
                             "': only variables whose names start with " +
                             std::string(CMetricQuery::kVariablePrefix) + " may be read");
        }
    }

    void Address(std::string_view strKey, std::string_view strUrl) {
        const std::string strWhat = BadAddress(strUrl);
        if (!strWhat.empty()) {
            Fail(strKey, strWhat);
        }
    }

    void CheckBuiltInOnlyFields() {
        for (std::string_view strField : CSourceFile::kBuiltInOnlyFields) {
            if (m_table.contains(strField)) {
                Fail(strField,
                     "'" + std::string(strField) + "' is set by the built-in sources only");
            }
        }
    }

private:
    const toml::table& m_table;
    const std::string m_strName;
    std::string m_strError;
};

void ReadIdentity(CFieldReader& reader, const std::set<std::string>& takenIds, SMetric& metric) {
    reader.String("id", metric.strId, true);
    reader.String("label", metric.strLabel, true);
    reader.String("label_zh_CN", metric.strLabelZhCN);
    if (reader.Failed()) {
        return;
    }
    if (!IsIdText(metric.strId)) {
        reader.Fail("id", "the id '" + metric.strId +
                              "' must be a letter followed by letters and digits");
    } else if (takenIds.contains(Upper(metric.strId))) {
        reader.Fail("id", "the id '" + metric.strId + "' is taken by another source");
    }
}

void ReadRequest(CFieldReader& reader, SQueryRule& query) {
    reader.String("url", query.strUrl, true);
    if (!reader.Failed()) {
        reader.Address("url", query.strUrl);
    }
    reader.String("checksum", query.strChecksumText);
    reader.Texts("headers", query.arrHeaders);
    reader.Template("url", query.strUrl);
    reader.Template("checksum", query.strChecksumText);
    for (const std::string& strHeader : query.arrHeaders) {
        reader.Template("headers", strHeader);
    }
}

void ReadReply(CFieldReader& reader, SQueryRule& query) {
    std::size_t nParser = 0;
    reader.Choice("parser", {"pattern", "toolbar"}, nParser);
    query.parser = static_cast<EReplyParser>(nParser);
    reader.JqProgram("jq", query.pJq);
    if (query.pJq != nullptr) {
        query.parser = EReplyParser::Jq;
    }
    reader.String("pattern", query.strPattern, query.parser == EReplyParser::Pattern);
    if (query.parser == EReplyParser::Jq && (!query.strPattern.empty() || nParser != 0)) {
        reader.Fail("jq", "a source reads its reply with one of 'pattern', 'parser' and 'jq'");
    }
    reader.Boolean("later_matches", query.bLaterMatches);
    std::string strElementEnd;
    reader.String("element_end", strElementEnd);
    if (strElementEnd.size() > 1) {
        reader.Fail("element_end", "'element_end' must be one character");
    }
    query.chElementEnd = strElementEnd.empty() ? '\0' : strElementEnd.front();
    reader.String("none_pattern", query.strNonePattern);
    reader.Boolean("none_when_empty", query.bNoneWhenEmpty);
    reader.Statuses("none_status", query.arrNoneStatuses);
    reader.Texts("block_hosts", query.arrBlockHosts);
    reader.Texts("block_paths", query.arrBlockPaths);
    reader.String("block_pattern", query.strBlockPattern);
    reader.Pattern("pattern", query.strPattern);
    reader.Pattern("none_pattern", query.strNonePattern);
    reader.Pattern("block_pattern", query.strBlockPattern);
}

// A list source's fields: where its list is, how the list is read, and how
// a row is looked up in it.
void ReadList(CFieldReader& reader, const std::string& strId, SListSource& source) {
    SListDefinition& list = source.list;
    reader.String("list_url", list.strUrl, true);
    if (!list.strUrl.starts_with("http://") && !list.strUrl.starts_with("https://")) {
        reader.Fail("list_url", "'list_url' must be an http or https address");
    }
    if (reader.Has("url")) {
        reader.Fail("url", "a list source has 'list_url' and no 'url'");
    }
    reader.String("list_member", list.strMember);
    reader.Boolean("list_header", list.bHeader);
    reader.Boolean("list_comments", list.bComments);
    std::size_t nSeparator = 0;
    reader.Choice("list_separator", {"comma", "tab"}, nSeparator);
    list.chSeparator = nSeparator == 0 ? ',' : '\t';
    reader.Column("list_name_column", list.nameColumn);
    reader.Column("list_value_column", source.value);
    for (std::string_view strKey : {"list_name_column", "list_value_column"}) {
        const SListColumn& column = strKey == "list_name_column" ? list.nameColumn : source.value;
        if (!column.strHeader.empty() && !list.bHeader) {
            reader.Fail(strKey, "'" + std::string(strKey) +
                                    "' names a header, but 'list_header' is not true");
        }
    }
    std::size_t nNames = 0;
    reader.Choice("list_names", {"registrable", "host", "origin", "reversed"}, nNames);
    list.names = static_cast<EListNames>(nNames);
    // A list of reversed names is a list of hosts written backwards.
    std::size_t nLookup = list.names == EListNames::Reversed ? 1 : std::min<std::size_t>(nNames, 2);
    reader.Choice("list_lookup", {"registrable", "host", "origin"}, nLookup);
    source.lookup = static_cast<EListLookup>(nLookup);
    if ((source.lookup == EListLookup::Origin) != (list.names == EListNames::Origin)) {
        reader.Fail("list_lookup", "'list_lookup' origin goes with 'list_names' origin only");
    }
    reader.Integer("list_refresh_hours", list.nRefreshHours, 1, 24 * 366);
    int nMaxMb = static_cast<int>(list.nMaxBytes >> 20);
    reader.Integer("list_max_mb", nMaxMb, 1, 65536);
    list.nMaxBytes = static_cast<std::size_t>(nMaxMb) << 20;
    int nMinRows = static_cast<int>(list.nMinRows);
    reader.Integer("list_min_rows", nMinRows, 1, 1'000'000'000);
    list.nMinRows = static_cast<std::size_t>(nMinRows);
    list.strTitle = "the " + strId + " list";
    reader.String("list_title", list.strTitle);
    reader.String("list_attribution", list.strAttribution);
    list.valueColumns = {source.value};
}

void ReadPresentation(CFieldReader& reader, SMetric& metric) {
    std::size_t nOrder = 1;
    reader.Choice("order", {"ascending", "descending"}, nOrder);
    metric.bAscending = nOrder == 0;
    std::size_t nSort = static_cast<std::size_t>(ESortKey::Count);
    reader.Choice("sort", {"pagerank", "number", "count", "date"}, nSort);
    metric.sortKey = static_cast<ESortKey>(nSort);
    reader.Integer("interval_ms", metric.nIntervalMs, 0, 3'600'000);
    reader.Boolean("always_asked", metric.bAlwaysAsked);
    reader.Boolean("ticked", metric.bDefault);
    reader.Boolean("quoted", metric.bQuoted);
    reader.Integer("column_width", metric.nColumnWidth, 20, 1000);
    reader.Integer("query_place", metric.nQueryPlace, 0, 1'000'000);
    reader.Integer("export_place", metric.nExportPlace, SMetric::kNeverExported, 1000);
}

} // namespace

bool CSourceFile::Read(std::string_view strText, const std::string& strName,
                       const std::set<std::string>& takenIds, SMetric& metric,
                       std::string& strError, EOrigin origin) {
    toml::table table;
    try {
        table = toml::parse(strText, strName);
    } catch (const toml::parse_error& error) {
        strError = strName + ":" + std::to_string(error.source().begin.line) + ": " +
                   std::string(error.description());
        return false;
    }
    CFieldReader reader(table, strName);
    reader.CheckKnownFields();
    if (origin == EOrigin::User) {
        reader.CheckBuiltInOnlyFields();
    }
    ReadIdentity(reader, takenIds, metric);
    if (reader.Has("list_url")) {
        ReadList(reader, metric.strId, metric.listSource);
    } else {
        ReadRequest(reader, metric.query);
        ReadReply(reader, metric.query);
    }
    ReadPresentation(reader, metric);
    strError = reader.Error();
    return !reader.Failed();
}

bool CSourceFile::ReadFile(const std::filesystem::path& path, const std::set<std::string>& takenIds,
                           SMetric& metric, std::string& strError) {
    const auto refuse = [&](const std::string& strWhat) {
        strError = path.string() + ":1: " + strWhat;
        return false;
    };
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) {
        return refuse("cannot be read: " + error.message());
    }
    if (std::filesystem::is_directory(status)) {
        return refuse("is a folder, not a definition file");
    }
    if (!std::filesystem::is_regular_file(status)) {
        return refuse("is not a regular file");
    }
    std::ifstream in(path, std::ios::binary);
    std::string strText(kMostBytes + 1, '\0');
    in.read(strText.data(), static_cast<std::streamsize>(strText.size()));
    if (in.bad() || (!in && !in.eof())) {
        return refuse("cannot be read");
    }
    strText.resize(static_cast<std::size_t>(in.gcount()));
    if (strText.size() > kMostBytes) {
        return refuse("is larger than 1 MiB");
    }
    return Read(strText, path.string(), takenIds, metric, strError, EOrigin::User);
}
