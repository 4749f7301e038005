#include "queries/CJqProgram.h"

// libjq's header has no C++ guard of its own.
extern "C" {
#include <jq.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using SOutput = CJqProgram::SOutput;
using EKind = SOutput::EKind;

// Every call into libjq in this process holds it.
std::mutex& JqMutex() {
    static std::mutex mutex;
    return mutex;
}

// The longest message kept as a cell's detail.
constexpr std::size_t kMaxMessageBytes = 300;

bool IsWordByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Skips white space and comments from nAt on.
std::size_t SkipBlanks(std::string_view strText, std::size_t nAt) {
    while (nAt < strText.size()) {
        if (strText[nAt] == '#') {
            nAt = std::min(strText.find('\n', nAt), strText.size());
        } else if (strText[nAt] == ' ' || strText[nAt] == '\t' || strText[nAt] == '\r' ||
                   strText[nAt] == '\n') {
            ++nAt;
        } else {
            break;
        }
    }
    return nAt;
}

bool WordAt(std::string_view strText, std::size_t nAt, std::string_view strWord) {
    return strText.substr(nAt, strWord.size()) == strWord &&
           (nAt + strWord.size() == strText.size() || !IsWordByte(strText[nAt + strWord.size()]));
}

// Why a program may not run here, or empty. A program from a file must not
// reach outside its reply: libjq binds $ENV to this process's environment
// when it compiles (keys live there), and module directives read files. The
// test is on the text, strings included, since an interpolation inside a
// string is code.
std::string Refusal(std::string_view strProgram) {
    if (strProgram.size() > CJqProgram::kMaxProgramBytes) {
        return "the program is longer than " + std::to_string(CJqProgram::kMaxProgramBytes) +
               " bytes";
    }
    for (std::size_t nAt = strProgram.find('$'); nAt != std::string_view::npos;
         nAt = strProgram.find('$', nAt + 1)) {
        if (WordAt(strProgram, SkipBlanks(strProgram, nAt + 1), "ENV")) {
            return "a program may not read the environment ($ENV)";
        }
    }
    // Module directives can only open a program.
    const std::size_t nStart = SkipBlanks(strProgram, 0);
    for (std::string_view strDirective : {"module", "import", "include"}) {
        if (WordAt(strProgram, nStart, strDirective)) {
            return "a program may not use modules ('" + std::string(strDirective) + "')";
        }
    }
    return {};
}

SOutput Failed(std::string strWhy) {
    if (strWhy.size() > kMaxMessageBytes) {
        strWhy.resize(kMaxMessageBytes);
    }
    return {EKind::Failed, std::move(strWhy)};
}

// A jv's text: a string as it is, anything else as JSON. Consumes value.
std::string TextOf(jv value) {
    if (jv_get_kind(value) == JV_KIND_STRING) {
        std::string strText(jv_string_value(value),
                            static_cast<std::size_t>(jv_string_length_bytes(jv_copy(value))));
        jv_free(value);
        return strText;
    }
    jv dumped = jv_dump_string(value, 0);
    std::string strText = jv_string_value(dumped);
    jv_free(dumped);
    return strText;
}

// What a first output means. Consumes output.
SOutput Interpret(jv output) {
    switch (jv_get_kind(output)) {
    case JV_KIND_INVALID: {
        // Without a message, the program ended without output.
        jv message = jv_invalid_get_msg(output);
        if (jv_get_kind(message) == JV_KIND_NULL) {
            return {EKind::Nothing, {}};
        }
        return Failed(TextOf(message));
    }
    case JV_KIND_NULL:
    case JV_KIND_FALSE:
        jv_free(output);
        return {EKind::Nothing, {}};
    case JV_KIND_STRING:
    case JV_KIND_NUMBER: {
        std::string strText = TextOf(output);
        // The empty text is no value anywhere in a row.
        return {strText.empty() ? EKind::Nothing : EKind::Value, std::move(strText)};
    }
    default:
        break;
    }
    std::string strKind = jv_kind_name(jv_get_kind(output));
    jv_free(output);
    return Failed("the jq program's output is " + strKind + ", not a string or number");
}

// The program's first output for the reply. The caller holds the mutex, or
// is the only thread of a child process.
SOutput Evaluate(jq_state* pState, std::string_view strReply) {
    if (strReply.size() > static_cast<std::size_t>(INT_MAX)) {
        return Failed("the reply is too large for jq");
    }
    jv input = jv_parse_sized(strReply.data(), static_cast<int>(strReply.size()));
    if (!jv_is_valid(input)) {
        std::string strWhy = TextOf(jv_invalid_get_msg(input));
        // libjq quotes the whole reply after its message.
        strWhy = strWhy.substr(0, strWhy.find(" (while parsing"));
        return Failed("the reply is not JSON: " + strWhy);
    }
    jq_start(pState, input, 0);
    return Interpret(jq_next(pState));
}

void CollectMessage(void* pData, jv message) {
    auto& messages = *static_cast<std::vector<std::string>*>(pData);
    std::string strText = TextOf(message);
    std::replace(strText.begin(), strText.end(), '\n', ' ');
    while (!strText.empty() && strText.back() == ' ') {
        strText.pop_back();
    }
    // The count libjq adds after the messages says nothing more.
    if (!strText.ends_with("compile error") && !strText.ends_with("compile errors")) {
        messages.push_back(std::move(strText));
    }
}

void IgnoreMessage(void*, jv message) {
    jv_free(message);
}

// Keeps the child within a processor time and an address space.
void LimitChild(int nDeadlineMs) {
    const rlim_t nSeconds = static_cast<rlim_t>(nDeadlineMs / 1000 + 1);
    const rlimit cpu = {nSeconds, nSeconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    // The size the child starts with, from /proc: open and read are safe
    // after a fork in a threaded process.
    char buffer[64] = {};
    const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const ssize_t nRead = read(fd, buffer, sizeof(buffer) - 1);
    close(fd);
    rlim_t nPages = 0;
    for (ssize_t i = 0; i < nRead && buffer[i] >= '0' && buffer[i] <= '9'; ++i) {
        nPages = nPages * 10 + static_cast<rlim_t>(buffer[i] - '0');
    }
    if (nPages > 0) {
        const rlim_t nBytes =
            nPages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + CJqProgram::kHeadroomBytes;
        const rlimit space = {nBytes, nBytes};
        setrlimit(RLIMIT_AS, &space);
    }
}

void WriteAll(int fd, std::string_view strData) {
    while (!strData.empty()) {
        const ssize_t n = write(fd, strData.data(), strData.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        strData.remove_prefix(static_cast<std::size_t>(n));
    }
}

// The child's report: the kind's letter, then the text.
constexpr char kKindLetters[] = {'V', 'N', 'F'};

[[noreturn]] void RunChild(jq_state* pState, std::string_view strReply, int fd, int nDeadlineMs) {
    LimitChild(nDeadlineMs);
    // jq's env builtin reads the environment as it runs: it finds none.
    static char* emptyEnvironment[] = {nullptr};
    environ = emptyEnvironment;
    const SOutput output = Evaluate(pState, strReply);
    std::string strReport(1, kKindLetters[static_cast<int>(output.kind)]);
    strReport += output.strText.substr(0, CJqProgram::kMaxOutputBytes + 1);
    WriteAll(fd, strReport);
    _exit(0);
}

SOutput Decode(const std::string& strReport) {
    const auto* pLetter = std::find(std::begin(kKindLetters), std::end(kKindLetters),
                                    strReport.empty() ? '\0' : strReport.front());
    if (pLetter == std::end(kKindLetters)) {
        return Failed("the jq program stopped without an answer");
    }
    if (strReport.size() - 1 > CJqProgram::kMaxOutputBytes) {
        return Failed("the jq program's output is too large");
    }
    return {static_cast<EKind>(pLetter - std::begin(kKindLetters)), strReport.substr(1)};
}

// Reads the child's report until it ends, the deadline passes or the caller
// cancels; false unless the report ended.
enum class EWait { Ended, Late, Cancelled, TooLarge };

EWait ReadReport(int fd, int nDeadlineMs, const std::atomic<bool>* pCancel, std::string& strOut) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(nDeadlineMs);
    // Cancellation is looked at this often.
    constexpr long kSliceMs = 50;
    char buffer[4096];
    for (;;) {
        if (pCancel != nullptr && pCancel->load()) {
            return EWait::Cancelled;
        }
        const auto nLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (nLeft <= 0) {
            return EWait::Late;
        }
        pollfd ready = {fd, POLLIN, 0};
        const int nReady = poll(&ready, 1, static_cast<int>(std::min<long>(nLeft, kSliceMs)));
        if (nReady <= 0) {
            continue;
        }
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return EWait::Ended;
        }
        strOut.append(buffer, static_cast<std::size_t>(n));
        if (strOut.size() > CJqProgram::kMaxOutputBytes + 1) {
            return EWait::TooLarge;
        }
    }
}

} // namespace

CJqProgram::CJqProgram(jq_state* pState, std::string strText)
    : m_pState(pState), m_strText(std::move(strText)) {}

CJqProgram::~CJqProgram() {
    std::lock_guard<std::mutex> lock(JqMutex());
    jq_teardown(&m_pState);
}

std::shared_ptr<const CJqProgram> CJqProgram::Compile(const std::string& strProgram,
                                                      std::string& strError) {
    strError = Refusal(strProgram);
    if (!strError.empty()) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(JqMutex());
    jq_state* pState = jq_init();
    if (pState == nullptr) {
        strError = "jq could not start";
        return nullptr;
    }
    std::vector<std::string> messages;
    jq_set_error_cb(pState, CollectMessage, &messages);
    // Without a library path libjq 1.6 aborts on a module it cannot find.
    jq_set_attr(pState, jv_string("JQ_LIBRARY_PATH"), jv_array());
    const bool bCompiled =
        strProgram.find('\0') == std::string::npos && jq_compile(pState, strProgram.c_str()) != 0;
    // Runtime errors come back from jq_next; nothing is to reach stderr.
    jq_set_error_cb(pState, IgnoreMessage, nullptr);
    if (!bCompiled) {
        jq_teardown(&pState);
        strError.clear();
        for (const std::string& strMessage : messages) {
            strError += (strError.empty() ? "" : "; ") + strMessage;
        }
        if (strError.empty()) {
            strError = "jq did not compile it";
        }
        return nullptr;
    }
    return std::shared_ptr<const CJqProgram>(new CJqProgram(pState, strProgram));
}

CJqProgram::SOutput CJqProgram::RunHere(std::string_view strReply) const {
    std::lock_guard<std::mutex> lock(JqMutex());
    return Evaluate(m_pState, strReply);
}

CJqProgram::SOutput CJqProgram::Run(std::string_view strReply, int nDeadlineMs,
                                    const std::atomic<bool>* pCancel) const {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return Failed("jq could not start: no pipe");
    }
    pid_t pid = -1;
    {
        // No other thread is inside libjq while the child's copy is made.
        std::lock_guard<std::mutex> lock(JqMutex());
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            RunChild(m_pState, strReply, fds[1], nDeadlineMs);
        }
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return Failed("jq could not start: no process");
    }
    std::string strReport;
    const EWait wait = ReadReport(fds[0], nDeadlineMs, pCancel, strReport);
    close(fds[0]);
    if (wait != EWait::Ended) {
        kill(pid, SIGKILL);
    }
    int nStatus = 0;
    while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
    }
    switch (wait) {
    case EWait::Late:
        return Failed("the jq program ran longer than " + std::to_string(nDeadlineMs) + " ms");
    case EWait::Cancelled:
        return {EKind::Cancelled, {}};
    case EWait::TooLarge:
        return Failed("the jq program's output is too large");
    case EWait::Ended:
        break;
    }
    if (WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGXCPU) {
        return Failed("the jq program ran out of time");
    }
    return Decode(strReport);
}
