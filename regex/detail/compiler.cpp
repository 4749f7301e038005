#include "regex/detail/compiler.h"

#include "regex/bad_regexpr.h"
#include "regex/detail/analysis.h"
#include "regex/detail/byte_map.h"
#include "regex/detail/char_class.h"
#include "regex/detail/charset.h"
#include "regex/detail/escapes.h"
#include "regex/detail/stack_limit.h"

#include <bit>
#include <cstring>

namespace regex::detail {

namespace {

constexpr std::size_t bound_limit = 0x7FFFFFFF;

[[noreturn]] void fail(const char* message) {
    throw bad_regexpr(message);
}

bool is_special(char c) {
    return c == '(' || c == ')' || c == '|' || c == '^' || c == '$' || c == '[' || c == '.' ||
           c == '\\';
}

bool is_space(char c) {
    return has_class(static_cast<unsigned char>(c), cls_space);
}

// The assertion of \A \Z \z \b \B.
op escape_assertion(char c) {
    switch (c) {
    case 'A':
        return op::subject_begin;
    case 'Z':
        return op::end_or_final_lf;
    case 'z':
        return op::subject_end;
    case 'b':
        return op::word_boundary;
    default:
        return op::not_word_boundary;
    }
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a decimal number, saturating at bound_limit.
std::size_t read_decimal(const char*& cur, const char* end) {
    std::size_t n = 0;
    while (cur < end && is_digit(*cur)) {
        n = n * 10 + static_cast<std::size_t>(*cur++ - '0');
        if (n > bound_limit)
            n = bound_limit;
    }
    return n;
}

} // namespace

void compiler::sequence::append(node* n) {
    if (head == nullptr)
        head = n;
    else
        tail->next = n;
    tail = n;
}

compiler::compiler(program& prog)
    : m_prog(prog), m_cur(prog.text.data()), m_end(prog.text.data() + prog.text.size()) {}

void compiler::compile(program& prog) {
    compiler c(prog);
    prog.root = c.parse_group(op::group, 0, prog.flags, true);
    prog.end_pattern = c.make_plain(op::end_pattern);
    prog.root->next = prog.end_pattern;
    prog.capture_groups = c.m_captures + 1;
    analyse(prog);
}

// ---- building nodes

node* compiler::make_plain(op kind) {
    return m_prog.arena.make<node>(kind);
}

node* compiler::make_literal(const std::vector<unsigned char>& bytes, bool icase) {
    auto* n = m_prog.arena.make<lit_node>();
    n->kind = op::literal;
    n->icase = icase;
    n->length = static_cast<std::uint32_t>(bytes.size());
    auto* copy = m_prog.arena.make_array<unsigned char>(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        copy[i] = icase ? to_lower(bytes[i]) : bytes[i];
    n->bytes = copy;
    return n;
}

node* compiler::make_set(const byte_table& table) {
    auto* copy = m_prog.arena.make<byte_table>(table);
    return make_shared_set(*copy);
}

node* compiler::make_shared_set(const byte_table& table) {
    auto* n = m_prog.arena.make<set_node>();
    n->kind = op::one_byte;
    n->table = &table;
    return n;
}

node* compiler::make_char(unsigned char c, bool icase) {
    byte_table t;
    t.set(c);
    if (icase)
        t.set(other_case(c));
    return make_set(t);
}

std::size_t compiler::take_noncapturing_number() {
    const std::size_t number = m_prog.all_groups++;
    m_prog.noncapturing.push_back(number);
    return number;
}

node* compiler::make_repeat(program& prog, node* atom, std::size_t min, std::size_t max,
                            bool greedy) {
    switch (atom->kind) {
    case op::one_byte:
    case op::backref: {
        auto* s = prog.arena.make<star_node>();
        s->kind = atom->kind == op::one_byte ? op::star : op::star_ref;
        s->greedy = greedy;
        s->min = min;
        s->max = max;
        if (atom->kind == op::one_byte) {
            s->atom = as_set(atom).table;
            s->any = s->atom->all();
            if (!s->any)
                s->atom_map = byte_map(prog.arena, *s->atom);
            s->dot = as_set(atom).dot;
        } else {
            s->ref = static_cast<const backref_node*>(atom);
        }
        return s;
    }
    case op::group:
    case op::atomic:
    case op::cond_ref:
    case op::cond_assert: {
        auto* r = prog.arena.make<repeat_node>();
        r->kind = op::repeat;
        r->greedy = greedy;
        r->min = min;
        r->max = max;
        r->id = static_cast<std::uint32_t>(prog.repeat_count++);
        r->body = static_cast<group_node*>(atom);
        r->tail = prog.arena.make<end_node>();
        r->tail->kind = op::repeat_tail;
        r->tail->owner = r;
        r->body->next = r->tail;
        if (max > 16)
            prog.recursion_safe = false;
        return r;
    }
    case op::assertion:
        if (!as_group(atom).behind)
            fail("look-ahead assertion cannot be quantified");
        fail("sub-expression cannot be quantified");
    case op::recurse:
        fail("recursion sub-expression cannot be quantified");
    default:
        fail("sub-expression cannot be quantified");
    }
}

// ---- reading tokens

void compiler::skip_extended(std::uint32_t flags) {
    if (!(flags & extended))
        return;
    while (m_cur < m_end) {
        if (is_space(*m_cur)) {
            ++m_cur;
        } else if (*m_cur == '#') {
            const void* lf = std::memchr(m_cur, '\n', static_cast<std::size_t>(m_end - m_cur));
            m_cur = lf ? static_cast<const char*>(lf) + 1 : m_end;
        } else {
            break;
        }
    }
}

// A bound at `cur` (which points at '{'): {n} {n,} {n,m} {,m} {}; advances
// past the '}' when it is one.
bool compiler::read_bound(const char*& cur, quantifier& q) const {
    const char* p = cur + 1;
    const bool hasMin = p < m_end && is_digit(*p);
    const std::size_t min = read_decimal(p, m_end);
    std::size_t max = min;
    if (p < m_end && *p == ',') {
        ++p;
        const bool hasMax = p < m_end && is_digit(*p);
        max = hasMax ? read_decimal(p, m_end) : unbounded;
    } else if (!hasMin) {
        max = 0; // "{}"
    }
    if (p == m_end || *p != '}')
        return false;
    cur = p + 1;
    q.min = hasMin ? min : 0;
    q.max = max;
    if (q.max < q.min)
        fail("Can't do {n, m} with n > m");
    return true;
}

bool compiler::at_quantifier(std::uint32_t flags) {
    skip_extended(flags);
    if (m_cur == m_end)
        return false;
    if (*m_cur == '*' || *m_cur == '+' || *m_cur == '?')
        return true;
    quantifier ignored;
    const char* p = m_cur;
    return *m_cur == '{' && read_bound(p, ignored);
}

bool compiler::read_quantifier(std::uint32_t flags, quantifier& q) {
    if (!at_quantifier(flags))
        return false;
    const char c = *m_cur;
    if (c == '{') {
        read_bound(m_cur, q);
    } else {
        ++m_cur;
        q.min = c == '+' ? 1 : 0;
        q.max = c == '?' ? 1 : unbounded;
    }
    skip_extended(flags);
    q.greedy = true;
    if (m_cur < m_end && *m_cur == '?') {
        q.greedy = false;
        ++m_cur;
    }
    return true;
}

// ---- groups

group_node* compiler::parse_group(op kind, int capture, std::uint32_t flags, bool isRoot) {
    // Groups nested deeper than the thread's stack can hold: out of memory.
    if (stack_low())
        throw_bad_allocation();
    auto* g = m_prog.arena.make<group_node>();
    g->kind = kind;
    g->capture = capture;
    g->cap_low = static_cast<std::uint32_t>(m_captures + 1);
    if (capture > 0)
        g->cap_low = static_cast<std::uint32_t>(capture);
    std::vector<sequence> alts(1);
    for (;;) {
        skip_extended(flags);
        if (m_cur == m_end) {
            if (!isRoot)
                fail("mismatched parenthesis");
            break;
        }
        const char c = *m_cur;
        if (c == ')') {
            if (isRoot)
                fail("mismatched parenthesis");
            ++m_cur;
            break;
        }
        node* atom = nullptr;
        bool repeatable = true;
        sequence& seq = alts.back();
        switch (c) {
        case '|':
            ++m_cur;
            alts.emplace_back();
            continue;
        case '^':
            ++m_cur;
            seq.append(make_plain((flags & multiline) ? op::line_begin : op::subject_begin));
            continue;
        case '$':
            ++m_cur;
            seq.append(make_plain((flags & multiline) ? op::line_end : op::end_or_final_lf));
            continue;
        case '*':
        case '+':
        case '?':
            fail("quantifier not expected");
        case '.': {
            ++m_cur;
            byte_table t;
            t.set_all();
            if (!(flags & single_line))
                t.reset('\n');
            atom = make_set(t);
            static_cast<set_node*>(atom)->dot = true;
            break;
        }
        case '[':
            ++m_cur;
            atom = make_set(charset::parse(m_cur, m_end, flags));
            break;
        case '(':
            ++m_cur;
            atom = parse_paren(flags, repeatable);
            break;
        case '\\':
            ++m_cur;
            atom = parse_escape(flags, seq);
            break;
        default:
            parse_literal_run(flags, seq, atom);
            break;
        }
        if (atom == nullptr)
            continue;
        if (!repeatable) {
            seq.append(atom);
            continue;
        }
        quantifier q;
        if (read_quantifier(flags, q))
            atom = make_repeat(m_prog, atom, q.min, q.max, q.greedy);
        seq.append(atom);
    }
    finish_group(g, alts);
    return g;
}

void compiler::finish_group(group_node* g, std::vector<sequence>& alts) {
    g->cap_high = static_cast<std::uint32_t>(m_captures + 1);
    g->end = m_prog.arena.make<end_node>();
    const bool innerEnd = g->kind == op::atomic || g->kind == op::assertion;
    g->end->kind = innerEnd ? op::inner_end : op::group_end;
    g->end->owner = g;
    g->alt_count = static_cast<std::uint32_t>(alts.size());
    g->alts = m_prog.arena.make_array<node*>(alts.size());
    for (std::size_t i = 0; i < alts.size(); ++i) {
        alts[i].append(g->end);
        g->alts[i] = alts[i].head;
    }
}

node* compiler::parse_paren(std::uint32_t& flags, bool& repeatable) {
    if (m_cur < m_end && *m_cur == '?') {
        ++m_cur;
        return parse_extension(flags, repeatable);
    }
    const int number = static_cast<int>(++m_captures);
    ++m_prog.all_groups;
    return parse_group(op::group, number, flags, false);
}

// After "(?". Answers null when the construct makes no node.
node* compiler::parse_extension(std::uint32_t& flags, bool& repeatable) {
    skip_extended(flags);
    if (m_cur == m_end)
        fail("ill-formed regular expression");
    const char c = *m_cur;
    switch (c) {
    case ':':
    case '>':
        ++m_cur;
        return parse_numbered_group(c == ':' ? op::group : op::atomic, flags);
    case '=':
    case '!':
    case '<': {
        bool behind = false;
        char kind = c;
        ++m_cur;
        if (c == '<') {
            if (m_cur == m_end)
                fail("ill-formed regular expression");
            if (*m_cur != '=' && *m_cur != '!')
                fail("bad extension sequence");
            behind = true;
            kind = *m_cur++;
        }
        if (m_cur == m_end)
            fail("ill-formed regular expression");
        if (*m_cur == ')') {
            ++m_cur;
            return nullptr;
        }
        repeatable = false;
        return parse_assertion_body(kind, behind, flags);
    }
    case '#': {
        const void* close = std::memchr(m_cur, ')', static_cast<std::size_t>(m_end - m_cur));
        if (close == nullptr)
            fail("Expecting end of comment");
        m_cur = static_cast<const char*>(close) + 1;
        return nullptr;
    }
    case 'R':
        ++m_cur;
        if (m_cur == m_end)
            fail("ill-formed regular expression");
        if (*m_cur != ')')
            fail("bad extension sequence");
        ++m_cur;
        m_prog.recursion_safe = false;
        repeatable = false;
        return make_plain(op::recurse);
    case '(':
        ++m_cur;
        return parse_conditional(flags);
    default:
        return parse_flag_list(flags);
    }
}

// A non-capturing group that takes a number, its body at `m_cur`; an empty
// body makes no node and takes no number.
node* compiler::parse_numbered_group(op kind, std::uint32_t flags) {
    if (m_cur == m_end)
        fail("ill-formed regular expression");
    if (*m_cur == ')') {
        ++m_cur;
        return nullptr;
    }
    take_noncapturing_number();
    return parse_group(kind, -1, flags, false);
}

group_node* compiler::parse_assertion_body(char kind, bool behind, std::uint32_t flags) {
    group_node* g = parse_group(op::assertion, -1, flags, false);
    g->negative = kind == '!';
    g->behind = behind;
    return g;
}

// After "(?(".
node* compiler::parse_conditional(std::uint32_t flags) {
    if (m_cur == m_end)
        fail("ill-formed regular expression");
    group_node* condition = nullptr;
    std::size_t number = 0;
    if (is_digit(*m_cur)) {
        number = read_decimal(m_cur, m_end);
        if (m_cur == m_end)
            fail("ill-formed regular expression");
        if (*m_cur != ')' || number == 0)
            fail("bad extension sequence");
        ++m_cur;
    } else if (*m_cur == '?') {
        ++m_cur;
        if (m_cur == m_end)
            fail("ill-formed regular expression");
        bool behind = false;
        if (*m_cur == '<') {
            behind = true;
            ++m_cur;
            if (m_cur == m_end)
                fail("ill-formed regular expression");
        }
        if (*m_cur != '=' && *m_cur != '!')
            fail("bad extension sequence");
        const char kind = *m_cur++;
        condition = parse_assertion_body(kind, behind, flags);
    } else {
        fail("bad extension sequence");
    }
    take_noncapturing_number();
    group_node* g = parse_group(condition ? op::cond_assert : op::cond_ref, -1, flags, false);
    if (g->alt_count > 2)
        fail("Too many alternates in conditional subexpression");
    g->cond_group = static_cast<std::uint32_t>(number);
    g->condition = condition;
    if (condition != nullptr)
        condition->conditional = g;
    return g;
}

// "(?imsx-imsx)" or "(?imsx-imsx:...)"; `m_cur` is at the first flag byte.
node* compiler::parse_flag_list(std::uint32_t& flags) {
    std::uint32_t changed = flags;
    bool on = true;
    for (;;) {
        if (m_cur == m_end)
            fail("ill-formed regular expression");
        const char c = *m_cur++;
        std::uint32_t bit = 0;
        switch (c) {
        case 'i':
            bit = ignore_case;
            break;
        case 'm':
            bit = multiline;
            break;
        case 's':
            bit = single_line;
            break;
        case 'x':
            bit = extended;
            break;
        case '-':
            if (!on)
                fail("bad extension sequence");
            on = false;
            continue;
        case ')':
            flags = changed;
            return nullptr;
        case ':':
            return parse_numbered_group(op::group, changed);
        default:
            fail("bad extension sequence");
        }
        changed = on ? (changed | bit) : (changed & ~bit);
    }
}

// ---- atoms

// After '\'. Assertions and quoted text are appended to `seq` directly and
// answer null; everything else answers the atom.
node* compiler::parse_escape(std::uint32_t flags, sequence& seq) {
    const bool icase = (flags & ignore_case) != 0;
    if (m_cur == m_end)
        return make_char('\\', false);
    const char c = *m_cur++;
    switch (c) {
    case 'd':
    case 'D':
    case 's':
    case 'S':
    case 'w':
    case 'W':
        return make_shared_set(charset::shared(c));
    case 'A':
    case 'Z':
    case 'z':
    case 'b':
    case 'B':
        seq.append(make_plain(escape_assertion(c)));
        return nullptr;
    case 'Q':
        parse_quote(flags, seq);
        return nullptr;
    case 'E':
        fail("quotemeta turned off, but was never turned on");
    case 'c':
        if (m_cur == m_end)
            fail("incomplete escape sequence \\c");
        return make_char(control_byte(*m_cur++), icase);
    case 'x':
        return make_char(read_hex(m_cur, m_end, 2), icase);
    default:
        break;
    }
    if (is_digit(c)) {
        int byte = -1;
        node* ref = parse_number_escape(c, byte);
        if (ref != nullptr) {
            static_cast<backref_node*>(ref)->icase = icase;
            return ref;
        }
        return make_char(static_cast<unsigned char>(byte), icase);
    }
    return make_char(plain_escape_byte(c, flags, false), icase);
}

// A back-reference (answered) or an octal escape (null, the byte in `byte`);
// `first` (already read) is its first digit.
node* compiler::parse_number_escape(char first, int& byte) {
    const char* digits = m_cur - 1;
    const char* p = digits;
    std::size_t number = 0;
    for (int i = 0; i < 3 && p < m_end && is_digit(*p); ++i)
        number = number * 10 + static_cast<std::size_t>(*p++ - '0');
    const bool octal = first == '0' || (number >= 10 && number >= m_prog.all_groups);
    if (!octal) {
        m_cur = p;
        auto* ref = m_prog.arena.make<backref_node>();
        ref->kind = op::backref;
        ref->number = static_cast<std::uint32_t>(number);
        return ref;
    }
    m_cur = digits;
    if (*m_cur > '7') // "\8", "\9": no octal digit, the digit stands for itself
        byte = static_cast<unsigned char>(*m_cur++);
    else
        byte = read_octal(m_cur, m_end, 3);
    return nullptr;
}

// After "\Q": every byte literally up to "\E" or the end of the pattern.
void compiler::parse_quote(std::uint32_t flags, sequence& seq) {
    const char* start = m_cur;
    const char* stop = m_end;
    for (const char* p = m_cur; p + 1 < m_end; ++p) {
        if (p[0] == '\\' && p[1] == 'E') {
            stop = p;
            break;
        }
    }
    m_cur = stop == m_end ? m_end : stop + 2;
    if (stop == start)
        return;
    std::vector<unsigned char> bytes(start, stop);
    seq.append(make_literal(bytes, (flags & ignore_case) != 0));
}

// A run of ordinary bytes. If a quantifier follows, its last byte becomes
// `atom` (to take the quantifier) and the rest a literal; else the whole run
// is appended as one literal.
void compiler::parse_literal_run(std::uint32_t flags, sequence& seq, node*& atom) {
    const bool icase = (flags & ignore_case) != 0;
    std::vector<unsigned char> bytes;
    bytes.push_back(static_cast<unsigned char>(*m_cur++));
    for (;;) {
        skip_extended(flags);
        if (m_cur == m_end)
            break;
        const char c = *m_cur;
        if (is_special(c) || c == '*' || c == '+' || c == '?')
            break;
        quantifier ignored;
        const char* p = m_cur;
        if (c == '{' && read_bound(p, ignored))
            break;
        bytes.push_back(static_cast<unsigned char>(c));
        ++m_cur;
    }
    if (at_quantifier(flags)) {
        const unsigned char last = bytes.back();
        bytes.pop_back();
        if (!bytes.empty())
            seq.append(make_literal(bytes, icase));
        atom = make_char(last, icase);
        return;
    }
    seq.append(make_literal(bytes, icase));
}

} // namespace regex::detail
