#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

struct jq_state;

// A jq program (libjq) that turns a JSON reply into a value, compiled once
// when its definition file is read.
//
// libjq keeps state that is not safe to share between threads, so every call
// into it, in this process, is made under one process-wide mutex: two
// programs never run at once, and a compiled program may be shared by any
// number of threads.
//
// A program from a definition file is untrusted and libjq cannot be stopped
// from outside: a program can loop, or build values without end. Run()
// therefore evaluates it in a child process started for the one reply, with
// a limit on its processor time and address space; the caller waits at most
// the deadline (or until it is cancelled) and then kills the child. A crash
// inside libjq ends the child, not the program.
class CJqProgram {
public:
    // How long Run() waits for the child by default.
    static constexpr int kDefaultDeadlineMs = 2000;
    // The most a child may add to the address space it starts with.
    static constexpr std::size_t kHeadroomBytes = std::size_t(1) << 30;
    // The longest program compiled.
    static constexpr std::size_t kMaxProgramBytes = 4096;
    // The longest value or message a child may report; a longer one fails.
    static constexpr std::size_t kMaxOutputBytes = 64 * 1024;

    // What the program made of a reply: its first output.
    struct SOutput {
        enum class EKind {
            Value,   // a string or number: strText is its text
            Nothing, // null, false, an empty string, or no output at all
            Failed,  // strText says why: jq's message, or the kind of output
            Cancelled,
        };
        EKind kind = EKind::Nothing;
        std::string strText;
    };

    // Compiles strProgram; null when it does not compile, with jq's messages
    // in strError. A program that reads the environment ($ENV) or uses
    // modules, or is longer than kMaxProgramBytes, is refused the same way:
    // keys live in the environment, and nothing but the reply is its input.
    static std::shared_ptr<const CJqProgram> Compile(const std::string& strProgram,
                                                     std::string& strError);

    ~CJqProgram();
    CJqProgram(const CJqProgram&) = delete;
    CJqProgram& operator=(const CJqProgram&) = delete;

    // Runs the program over the JSON text strReply in a child process, as
    // described above. A reply that is not JSON, a jq error, an output that
    // is neither a scalar nor null, and a program past its deadline or
    // limits give Failed; pCancel set while it runs gives Cancelled.
    SOutput Run(std::string_view strReply, int nDeadlineMs = kDefaultDeadlineMs,
                const std::atomic<bool>* pCancel = nullptr) const;

    // Runs the program in this process, unbounded: for a program whose
    // every step is known to end (measurements, and the child above).
    SOutput RunHere(std::string_view strReply) const;

    const std::string& Text() const { return m_strText; }

private:
    CJqProgram(jq_state* pState, std::string strText);

    jq_state* m_pState;
    std::string m_strText;
};
