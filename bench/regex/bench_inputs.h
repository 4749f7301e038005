// The system's patterns and deterministic inputs shaped like what the services
// and users hand the engine: result pages as the search services printed
// them, the traffic service's reply, an imported list, typed names.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace regex_bench {

// Patterns, byte for byte as the callers compile them.
std::string google_site_pattern();
std::string baidu_pattern();
std::string alexa_pattern();
std::string line_pattern();
std::string entry_pattern();

// A Google result page of about `size` bytes. The first layout prints the
// count in "<div id=resultStats>About N results<nobr>"; the second in the
// statistics paragraph after the search-box block ("of about <b>N</b> from").
std::string google_page(std::size_t size, int layout);
// 2 MiB of result page holding 200 openings of the second layout's search-box
// block and no statistics paragraph: nothing matches.
std::string hostile_google_page();
// `size` bytes of the search-box block of the second layout repeated without
// its statistics paragraph: what a hostile server can send.
std::string hostile_block_page(std::size_t size);
// `count` bytes of 'a' and then one '!'.
std::string a_run_then_bang(std::size_t count);
// A GBK Baidu result page of about `size` bytes.
std::string baidu_page(std::size_t size);
// The traffic service's XML reply for one domain.
std::string alexa_reply();
// An imported list: `lines` names, mixed line ends and some blank lines.
std::string domain_list(std::size_t lines);
// Names as typed: mostly valid, some with blanks, slashes, underscores.
std::vector<std::string> typed_names(std::size_t count);

} // namespace regex_bench
