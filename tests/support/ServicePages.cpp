#include "tests/support/ServicePages.h"

#include <iconv.h>

#include <memory>
#include <stdexcept>

namespace service_pages {

namespace {

constexpr int kResultsPerPage = 10;

// The scripts and styles every result page starts with: most of the page's
// bytes, with digits, quotes and tags of their own before the count.
std::string PageHead(std::string_view strTitle, std::string_view strCharset) {
    std::string strHead = "<!doctype html><html><head><meta http-equiv=\"content-type\" "
                          "content=\"text/html; charset=";
    strHead.append(strCharset).append("\"><title>").append(strTitle).append("</title><style>");
    for (int i = 0; i < 180; ++i) {
        const std::string n = std::to_string(i);
        strHead += "#c" + n + "{margin:" + n + "px 0 " + n + "px;padding:0 " + n + "px}.s" + n +
                   " a:visited{color:#551a8b;font-size:1" + n + "px}\n";
    }
    strHead += "</style><script>window.page={kEI:\"Jw4JTaX1Op3YswaT0_2kDg\",kEXPI:\"";
    for (int i = 0; i < 400; ++i) {
        strHead += std::to_string(17259 + 97 * i) + ",";
    }
    strHead += "28505\",time:function(){return(new Date).getTime()}};"
               "(function(){var d=document,l=d.location;function q(a,b){for(var i=0;i<a.length;"
               "i++)if(a[i]===b)return i;return -1}window.lg=function(e){if(e.which==2||"
               "e.ctrlKey)return true;var s=\"&sa=N&start=10\";l.href=l.href+s;return "
               "false}})();</script></head>";
    return strHead;
}

// Ten results about the domain, each with a title, a snippet with dates and
// numbers, its address and the cache links.
std::string GoogleResults(const std::string& strDomain) {
    std::string strResults = "<div id=ires><ol>";
    for (int i = 1; i <= kResultsPerPage; ++i) {
        const std::string n = std::to_string(i);
        const std::string strUrl = "http://" + strDomain + "/page" + n + ".html";
        strResults += "<li class=g><h3 class=\"r\"><a href=\"" + strUrl +
                      "\" class=l onmousedown=\"return rwt(this,'','','res','" + n + "','AFQjCNF" +
                      n + "','','0CB" + n + "QFjAA')\">Page " + n + " of " + strDomain +
                      "</a></h3><div class=\"s\">Dec " + n +
                      ", 2009 <b>...</b> Everything about page " + n + " on " + strDomain + ": 1" +
                      n + " articles, 2" + n + "0 photos and more than 3,4" + n +
                      "0 comments from our readers since 2001. <b>...</b><br><span class=f>"
                      "<cite>" +
                      strDomain + "/page" + n + ".html</cite> - 1" + n +
                      "k - </span><span class=gl><a href=\"/search?q=cache:x" + n + ":" + strUrl +
                      "\">Cached</a> - <a href=\"/search?q=related:" + strUrl +
                      "\">Similar</a></span></div></li>\n";
    }
    return strResults + "</ol></div>";
}

std::string GoogleFooter(const std::string& strQuery) {
    std::string strFooter = "<div id=foot><table id=nav align=center><tr valign=top>"
                            "<td class=b><span class=csb></span><b></b></td>";
    for (int i = 1; i <= kResultsPerPage; ++i) {
        strFooter += "<td><a href=\"/search?q=" + Escape(strQuery) +
                     "&amp;start=" + std::to_string(10 * (i - 1)) + "\" class=fl>" +
                     std::to_string(i) + "</a></td>";
    }
    return strFooter + "</tr></table><p class=flc>&copy;2010 - <a href=\"/intl/en/privacy.html\">"
                       "Privacy</a></p></div></body></html>";
}

std::string GoogleCount(GoogleLayout layout, const std::string& strQuery,
                        const std::string& strWord, const std::string& strCount) {
    const std::string strShown = Escape(strQuery);
    switch (layout) {
    case GoogleLayout::Stats:
        return "<div id=subform_ctrl><div id=resultStats>About " + strCount +
               " results<nobr>  (0.21 seconds)&nbsp;</nobr></div></div>";
    case GoogleLayout::Bar:
        return "<div id=ssb><div id=prs><b>Web</b> <a href=\"/advanced_search\">Show options"
               "</a></div><p id=resultStats>&nbsp;Results <b>1</b> - <b>10</b> of about <b>" +
               strCount + "</b> " + strWord + " <b>" + strShown +
               "</b>. (<b>0.21</b> seconds)&nbsp;</p></div>";
    case GoogleLayout::ChineseBar:
        return "<div id=ssb><div id=prs><b>网页</b> <a href=\"/advanced_search\">显示选项</a>"
               "</div><p id=resultStats>&nbsp;获得约 <b>" +
               strCount +
               "</b> 个结果，以下是第 <b>1</b>-<b>10</b> 个。 （用时 <b>0.21</b> "
               "秒）&nbsp;</p></div>";
    }
    return {};
}

std::string BaiduResults(const std::string& strDomain) {
    std::string strResults;
    for (int i = 1; i <= kResultsPerPage; ++i) {
        const std::string n = std::to_string(i);
        strResults += "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" id=\"" + n +
                      "\"><tr><td class=f><a href=\"http://" + strDomain + "/news/" + n +
                      ".html\" target=\"_blank\"><font size=\"3\">" + strDomain + " 第" + n +
                      "页_新闻中心</font></a><br><font size=-1>2009年12月" + n + "日 ... 共有1" +
                      n + "条评论，浏览2" + n + "0次 ... <br><font color=#008000>" + strDomain +
                      "/news/" + n + ".html 1" + n + "K 2009-12-0" + std::to_string(i % 10) +
                      "</font> - <a href=\"http://cache.baidu.com/c?m=9f65cb4a8c8507ed4fece7631" +
                      n +
                      "\" target=\"_blank\" class=\"m\">百度快照</a><br></font></td></tr></table>"
                      "<br>\n";
    }
    return strResults;
}

} // namespace

std::string QueryDomain(const std::string& strQuery) {
    std::string strDomain = strQuery.substr(strQuery.find(':') + 1);
    if (strDomain.size() >= 2 && strDomain.front() == '"' && strDomain.back() == '"') {
        strDomain = strDomain.substr(1, strDomain.size() - 2);
    }
    return strDomain;
}

std::string Escape(std::string_view strText) {
    std::string strEscaped;
    for (const char ch : strText) {
        switch (ch) {
        case '&':
            strEscaped += "&amp;";
            break;
        case '<':
            strEscaped += "&lt;";
            break;
        case '>':
            strEscaped += "&gt;";
            break;
        case '"':
            strEscaped += "&quot;";
            break;
        default:
            strEscaped += ch;
        }
    }
    return strEscaped;
}

std::string ToGbk(std::string_view strUtf8) {
    const iconv_t hConverter = iconv_open("GBK", "UTF-8");
    if (hConverter == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("no UTF-8 to GBK converter");
    }
    const std::unique_ptr<void, int (*)(iconv_t)> closer(hConverter, iconv_close);
    std::string strIn(strUtf8);
    std::string strOut(strIn.size(), '\0'); // GBK is never longer than UTF-8
    char* pIn = strIn.data();
    char* pOut = strOut.data();
    std::size_t nIn = strIn.size();
    std::size_t nOut = strOut.size();
    if (iconv(hConverter, &pIn, &nIn, &pOut, &nOut) == static_cast<std::size_t>(-1)) {
        throw std::runtime_error("text without a GBK form");
    }
    strOut.resize(strOut.size() - nOut);
    return strOut;
}

std::string PageRankReply(const std::string& strValue) {
    return strValue.empty() ? std::string() : "Rank_1:1:" + strValue + "\n";
}

std::string AlexaReply(const std::string& strDomain, const std::string& strRank) {
    const std::string strUrl = Escape(strDomain) + "/";
    std::string strXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n"
                         "<!-- Need more traffic data? Ask us about our web services. -->\n"
                         "<ALEXA VER=\"0.9\" URL=\"" +
                         strUrl + "\" HOME=\"0\" AID=\"=\">\n<SD TITLE=\"A\" FLAGS=\"\" HOST=\"" +
                         Escape(strDomain) +
                         "\">\n<TITLE TEXT=\"Welcome\"/>\n<LINKSIN NUM=\"1832\"/>\n"
                         "<LANG LEX=\"en\"/>\n<CHILD SRATING=\"0\"/>\n</SD>\n";
    if (!strRank.empty()) {
        strXml += "\n<SD>\n<POPULARITY URL=\"" + strUrl + "\" TEXT=\"" + strRank +
                  "\" SOURCE=\"panel\"/>\n<REACH RANK=\"10423\"/>\n<RANK DELTA=\"+1275\"/>\n"
                  "<COUNTRY CODE=\"US\" NAME=\"United States\" RANK=\"8124\"/>\n"
                  "<SPEED TEXT=\"1421\" PCT=\"53\"/>\n</SD>\n";
    }
    return strXml + "</ALEXA>\n";
}

std::string GooglePage(GoogleLayout layout, const std::string& strQuery, const std::string& strWord,
                       const std::string& strCount) {
    const std::string strShown = Escape(strQuery);
    const bool bChinese = layout == GoogleLayout::ChineseBar;
    std::string strPage = PageHead(strShown + (bChinese ? " - 谷歌搜索" : " - Google Search"),
                                   bChinese ? "GB2312" : "UTF-8");
    strPage += "<body bgcolor=#fff><div id=gog><a href=\"/imghp?hl=en&tab=wi\">Images</a> "
               "<a href=\"/maps?hl=en&tab=wl\">Maps</a></div><form action=\"/search\" "
               "id=tsf name=gs><input autocomplete=off class=lst name=q size=41 value=\"" +
               strShown + "\"><input type=submit name=btnG value=\"Search\"></form>";
    if (strCount.empty()) {
        return strPage + "<div id=res><p>Your search - <b>" + strShown +
               "</b> - did not match any documents.</p><p>Suggestions:</p><ul>"
               "<li>Make sure all words are spelled correctly.</li></ul></div>" +
               GoogleFooter(strQuery);
    }
    strPage += GoogleCount(layout, strQuery, strWord, strCount);
    return strPage + GoogleResults(QueryDomain(strQuery)) + GoogleFooter(strQuery);
}

std::string BaiduPage(const std::string& strQuery, const std::string& strCount) {
    const std::string strShown = Escape(strQuery);
    std::string strPage = PageHead("百度搜索_" + strShown, "gb2312");
    strPage += "<body link=\"#0000cc\"><div id=\"out\"><table class=\"tb\"><tr><td>"
               "<a href=\"http://news.baidu.com/ns?tn=news&cl=2&rn=20\">新闻</a> "
               "<b>网页</b> <a href=\"http://tieba.baidu.com/f?ct=&tn=&rn=&pn=&lm=&sc=&kw=\">"
               "贴吧</a></td></tr></table><form name=\"f\" action=\"/s\"><input name=\"wd\" "
               "size=\"42\" maxlength=\"100\" value=\"" +
               strShown + "\"><input type=\"submit\" value=\"百度一下\"></form>";
    if (strCount.empty()) {
        return strPage + "<div id=\"nors\"><p>抱歉，没有找到与<font color=\"#c60a00\">“" +
               strShown + "”</font>相关的网页。</p></div></div></body></html>";
    }
    const bool bAbout = strCount.find(',') != std::string::npos;
    strPage += "<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
               "class=\"bi\"><tr><td nowrap>把百度设为主页</td><td align=\"right\" nowrap>"
               "百度一下，找到相关网页" +
               std::string(bAbout ? "约" : "") + strCount + "篇，用时0.001秒</td></tr></table>";
    strPage += BaiduResults(QueryDomain(strQuery));
    strPage += "<p id=\"page\"><strong>1</strong>";
    for (int i = 2; i <= kResultsPerPage; ++i) {
        strPage += " <a href=\"s?wd=" + strShown + "&pn=" + std::to_string(10 * (i - 1)) + "\">[" +
                   std::to_string(i) + "]</a>";
    }
    return strPage + "</p><p id=\"ft\">&copy;2009 Baidu</p></div></body></html>";
}

std::string ErrorPage(int nStatus, std::string_view strReason, std::string_view strMessage) {
    const std::string strStatus = std::to_string(nStatus) + " " + std::string(strReason);
    return "<html><head><meta http-equiv=\"content-type\" content=\"text/html;charset=utf-8\">"
           "<title>" +
           strStatus + "</title></head><body text=#000000 bgcolor=#ffffff><h1>" + strStatus +
           "</h1><p>" + std::string(strMessage) + "</p></body></html>\n";
}

} // namespace service_pages
