#include "bench/regex/bench_inputs.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace regex_bench {

namespace {

// A small fixed generator, so that every run sees the same bytes.
class lcg {
public:
    explicit lcg(std::uint32_t seed) : m_state(seed) {}
    std::uint32_t next() {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }
    std::size_t below(std::size_t n) { return next() % n; }

private:
    std::uint32_t m_state;
};

constexpr std::array<std::string_view, 24> words{
    "domain", "hosting", "free",    "web",     "search", "example", "service", "online",
    "news",   "page",    "traffic", "rank",    "site",   "links",   "india",   "shop",
    "blog",   "forum",   "china",   "support", "mobile", "travel",  "photo",   "music"};
constexpr std::array<std::string_view, 8> tlds{".com",  ".net", ".org",   ".cn",
                                               ".info", ".de",  ".co.uk", ".com.cn"};

std::string word(lcg& random) {
    return std::string(words[random.below(words.size())]);
}

std::string domain_name(lcg& random) {
    std::string name = random.below(4) == 0 ? "www." : "";
    name += word(random);
    if (random.below(2)) {
        if (random.below(3) == 0)
            name += '-';
        name += word(random);
    }
    if (random.below(5) == 0)
        name += std::to_string(random.below(100));
    return name + std::string(tlds[random.below(tlds.size())]);
}

std::string sentence(lcg& random, std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += word(random);
    }
    return out;
}

// The script and style block that made up much of every result page.
std::string page_head(lcg& random, std::string_view query) {
    std::string out = "<!doctype html><head><title>" + std::string(query) +
                      " - Google Search</title><script>window.google={kEI:\"";
    out += std::to_string(random.next());
    out += "\",kEXPI:\"17259,23628,23670,24472\",kHL:\"en\"};";
    for (int i = 0; i < 60; ++i) {
        out += "google." + word(random) + "_" + std::to_string(i) + "=function(a,b){var c=a||{};";
        out += "for(var d=0;d<b.length;d++){c[b[d]]=\"" + word(random) + "\"}return c};";
    }
    out += "</script><style>body{margin:0}#gbar{height:22px}.gac_m td{line-height:17px}"
           "#res{padding-right:1em}.g{margin:1em 0}</style></head>\n<body bgcolor=#ffffff "
           "text=#000000 link=#0000cc vlink=#551a8b>";
    out +=
        "<div id=gbar><nobr><b class=gb1>Web</b> <a href=\"http://images.google.com/images?"
        "hl=en&tab=wi\" class=gb1>Images</a> <a href=\"http://news.google.com/nwshp?hl=en&tab=wn\""
        " class=gb1>News</a></nobr></div>\n";
    out += "<form action=\"/search\" name=gs id=tsf><input type=hidden name=hl value=\"en\">"
           "<input autocomplete=\"off\" maxlength=2048 name=q size=41 title=\"Search\" value=\"" +
           std::string(query) + "\"></form>\n";
    return out;
}

std::string result_item(lcg& random, int n) {
    const std::string host = domain_name(random);
    std::string path(1, '/');
    path += word(random);
    path += '/';
    path += std::to_string(random.below(10000));
    path += ".html";
    std::string out = "<li class=g><h3 class=r><a href=\"http://" + host + path +
                      "\" class=l onmousedown=\"return rwt(this,'','','res','" + std::to_string(n) +
                      "','AFQjCNE','')\">" + sentence(random, 3 + random.below(5)) +
                      "</a></h3><div class=s>";
    out += sentence(random, 20 + random.below(20)) + " <b>...</b> " +
           sentence(random, 10 + random.below(10));
    out += "<br><cite>" + host + path +
           "</cite> - <span class=gl><a href=\"http://webcache."
           "googleusercontent.com/search?q=cache:" +
           std::to_string(random.next()) + ":" + host +
           "\">Cached</a> - <a href=\"/search?q=related:" + host +
           "\">Similar</a></span></div></li>\n";
    return out;
}

std::string result_statistics(int layout) {
    if (layout == 1)
        return "<div id=subform_ctrl><div id=resultStats>About 1,230,000 results<nobr>  (0.21 "
               "seconds)&nbsp;</nobr></div></div>\n";
    return "<div id=ssb><div id=prs><b>Web</b></div><p id=resultStats>&nbsp;Results <b>1</b> - "
           "<b>10</b> of about <b>1,230,000</b> from <b>example.com</b>. (<b>0.21</b> "
           "seconds)&nbsp;</p></div>\n";
}

const std::string page_end = "</ol></div><div id=foot><p class=flc>&copy;2010 - <a "
                             "href=\"/intl/en/privacy.html\">Privacy</a></p></div></body></html>";

// GBK bytes of the Baidu page's fixed words, the word "about" and the
// counting word.
const std::string baidu_words = "\xb0\xd9\xb6\xc8\xd2\xbb\xcf\xc2\xa3\xac\xd5\xd2\xb5\xbd\xcf\xe0"
                                "\xb9\xd8\xcd\xf8\xd2\xb3";
const std::string baidu_about = "\xd4\xbc";
const std::string baidu_pages = "\xc6\xaa";

// Chinese text: characters from the GB2312 area of GBK.
std::string gbk_text(lcg& random, std::size_t characters) {
    std::string out;
    for (std::size_t i = 0; i < characters; ++i) {
        out += static_cast<char>(0xb0 + random.below(0xd7 - 0xb0));
        out += static_cast<char>(0xa1 + random.below(0xfe - 0xa1));
        if (random.below(12) == 0)
            out += "\xa3\xac"; // full-width comma
    }
    return out;
}

std::string baidu_result(lcg& random, int n) {
    const std::string host = domain_name(random);
    return "<table cellpadding=\"0\" cellspacing=\"0\" class=\"result\" id=\"" + std::to_string(n) +
           "\"><tr><td class=f><h3 class=\"t\"><a onmousedown=\"return c({'fm':'as','F':'770717EA',"
           "'title':this.innerHTML,'url':this.href,'p1':" +
           std::to_string(n) + "})\" href=\"http://" + host +
           "/\" target=\"_blank\"><font size=\"3\">" + gbk_text(random, 8 + random.below(10)) +
           "</font></a></h3><font size=-1>" + gbk_text(random, 40 + random.below(40)) +
           "<br><span class=\"g\">" + host + "/ " + std::to_string(random.below(90) + 10) +
           "K 2010-3-" + std::to_string(random.below(28) + 1) +
           " </span> - <a href=\"http://cache.baidu.com/c?m=" + std::to_string(random.next()) +
           "\" target=\"_blank\" class=\"m\">\xb0\xd9\xb6\xc8\xbf\xec\xd5\xd5</a></font></td></tr>"
           "</table><br>\n";
}

} // namespace

std::string google_site_pattern() {
    const std::string head =
        "<div id=ssb><div id=prs>.*</div><p id=resultStats>&nbsp;.*?<b>([0-9,]*?)</b>";
    return "<div id=resultStats>[^0-9]*([0-9,]*).*?<nobr>|" + head + " from|" + head + " for|" +
           head + " \xb8\xf6|" + head + " ";
}

std::string baidu_pattern() {
    return baidu_words + "[^0-9]*([0-9,]*?)" + baidu_pages;
}

std::string alexa_pattern() {
    return "<POPULARITY URL=.*? TEXT=\"([0-9]*?)\"";
}

std::string line_pattern() {
    return "([^\r\n]*?)[\r\n]+";
}

std::string entry_pattern() {
    return "^([0-9a-zA-Z\\.-]+)$";
}

std::string google_page(std::size_t size, int layout) {
    lcg random(layout == 1 ? 2010 : 2008);
    std::string page = page_head(random, "site:example.com");
    page += result_statistics(layout);
    page += "<div id=res><div id=ires><ol>\n";
    for (int n = 1; page.size() + page_end.size() < size; ++n)
        page += result_item(random, n);
    return page + page_end;
}

std::string hostile_google_page() {
    constexpr std::size_t size = 2 << 20;
    constexpr int openings = 200;
    lcg random(1999);
    std::string page = page_head(random, "example.com");
    page += "<div id=res><div id=ires><ol>\n";
    for (int n = 1; page.size() + page_end.size() < size; ++n) {
        if (n <= openings)
            page += "<div id=ssb><div id=prs><b>Web</b></div><p id=resultStats>Results</p></div>\n";
        page += result_item(random, n);
        // Spread the openings over the page.
        if (n <= openings)
            page += result_item(random, n) + result_item(random, n);
    }
    return page + page_end;
}

std::string hostile_block_page(std::size_t size) {
    static const std::string block = "<div id=ssb><div id=prs></div><p id=resultStats>&nbsp;";
    std::string page;
    page.reserve(size + block.size());
    while (page.size() < size)
        page += block;
    page.resize(size);
    return page;
}

std::string a_run_then_bang(std::size_t count) {
    return std::string(count, 'a') + "!";
}

std::string baidu_page(std::size_t size) {
    lcg random(2009);
    std::string page = "<html><head><meta http-equiv=\"content-type\" content=\"text/html;charset="
                       "gb2312\"><title>\xb0\xd9\xb6\xc8\xcb\xd1\xcb\xf7_site:example.com</title>"
                       "<style>body{margin:4px 0 0 0}#u{padding-right:10px}.result{width:33.7em;"
                       "table-layout:fixed}</style></head><body><div id=\"u\"><a href=\"http://"
                       "passport.baidu.com/\">\xb5\xc7\xc2\xbc</a></div>\n";
    page += "<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" id=\"bdfs0\">"
            "<tr><td align=\"right\" nowrap>" +
            baidu_words + baidu_about + "1,230,000" + baidu_pages +
            "\xa3\xac\xd3\xc3\xca\xb1 0.021 \xc3\xeb&nbsp;&nbsp;</td></tr></table>\n";
    for (int n = 1; page.size() + 40 < size; ++n)
        page += baidu_result(random, n);
    return page + "</body></html>";
}

std::string alexa_reply() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n<!-- Need more Alexa data?  Find our "
           "APIs here: https://aws.amazon.com/alexa/ -->\n<ALEXA VER=\"0.9\" URL=\"example.com/\" "
           "HOME=\"0\" AID=\"=\" IDN=\"example.com/\">\n<RLS PREFIX=\"http://\" more=\"92\">\n"
           "<RL HREF=\"iana.org/\" TITLE=\"Internet Assigned Numbers Authority\"/>\n"
           "<RL HREF=\"example.net/\" TITLE=\"Example Net\"/>\n"
           "<RL HREF=\"example.org/\" TITLE=\"Example Org\"/>\n</RLS>\n"
           "<SD TITLE=\"A\" FLAGS=\"\" HOST=\"example.com\">\n<TITLE TEXT=\"Example Domain\"/>\n"
           "<ADDR STREET=\"\" CITY=\"\" STATE=\"\" ZIP=\"\" COUNTRY=\"\" />\n"
           "<CREATED DATE=\"14-Aug-1995\" DAY=\"14\" MONTH=\"08\" YEAR=\"1995\"/>\n"
           "<PHONE NUMBER=\"unlisted\"/>\n<OWNER NAME=\"unlisted\"/>\n<EMAIL ADDR=\"unlisted\"/>\n"
           "<LANG LEX=\"en\"/>\n<LINKSIN NUM=\"2145\"/>\n<SPEED TEXT=\"1172\" PCT=\"45\"/>\n"
           "<REVIEWS AVG=\"4.5\" NUM=\"12\"/>\n<CHILD SRATING=\"0\"/>\n"
           "<ASSOCS>\n<ASSOC ID=\"examplecom-20\"/></ASSOCS>\n</SD>\n\n"
           "<KEYWORDS>\n<KEYWORD VAL=\"Example\"/>\n</KEYWORDS><DMOZ>\n<SITE BASE=\"example.com/\" "
           "TITLE=\"Example Domain\" DESC=\"Reserved for documentation.\">\n<CATS>\n"
           "<CAT ID=\"Top/Computers/Internet\" TITLE=\"Internet\" CID=\"374\"/>\n</CATS>\n</SITE>\n"
           "</DMOZ>\n<SD>\n<POPULARITY URL=\"example.com/\" TEXT=\"12345\" SOURCE=\"panel\"/>\n"
           "<REACH RANK=\"11234\"/>\n<RANK DELTA=\"+123\"/>\n"
           "<COUNTRY CODE=\"US\" NAME=\"United States\" RANK=\"4567\"/>\n</SD>\n</ALEXA>";
}

std::string domain_list(std::size_t lines) {
    lcg random(1998);
    std::string list;
    list.reserve(lines * 21);
    for (std::size_t i = 0; i < lines; ++i) {
        // Lists gathered from logs name hosts more often than bare domains.
        if (random.below(20) >= 3)
            list.append(word(random)).append(".");
        list += domain_name(random);
        const std::size_t end = random.below(100);
        if (end < 70)
            list += "\r\n";
        else if (end < 90)
            list += "\n";
        else if (end < 95)
            list += "\r";
        else
            list += "\r\n\r\n";
    }
    return list;
}

std::vector<std::string> typed_names(std::size_t count) {
    lcg random(1997);
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::string name = domain_name(random);
        switch (random.below(10)) {
        case 0:
            name = "http://" + name + "/index.html";
            break;
        case 1:
            name += " ";
            break;
        case 2:
            name.append("_").append(word(random)).append(".com");
            break;
        default:
            break;
        }
        names.push_back(name);
    }
    return names;
}

} // namespace regex_bench
