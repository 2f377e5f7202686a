#include "support/xml_check.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace qh::test {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : s_(text) {}

    XmlElement document() {
        check_characters();
        if (starts("<?xml")) skip_past("?>");
        misc();
        if (!starts("<")) fail("no root element");
        XmlElement root = element();
        misc();
        if (at_ < s_.size()) fail("content after the root element");
        return root;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        std::ostringstream m;
        m << "not well-formed XML at byte " << at_ << ": " << what;
        throw XmlError(m.str());
    }

    bool starts(std::string_view p) const { return s_.substr(at_, p.size()) == p; }

    void skip_past(std::string_view end) {
        const size_t found = s_.find(end, at_);
        if (found == std::string_view::npos) fail("unterminated markup");
        at_ = found + end.size();
    }

    void spaces() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
    }

    // Whitespace, comments and processing instructions outside the root.
    void misc() {
        for (;;) {
            spaces();
            if (starts("<!--")) skip_comment();
            else if (starts("<?")) skip_past("?>");
            else return;
        }
    }

    void skip_comment() {
        at_ += 4;
        const size_t end = s_.find("--", at_);
        if (end == std::string_view::npos || s_.substr(end, 3) != "-->") fail("\"--\" inside a comment");
        at_ = end + 3;
    }

    // Well-formed UTF-8 and no character XML 1.0 forbids.
    void check_characters() {
        for (size_t i = 0; i < s_.size();) {
            const auto b = static_cast<unsigned char>(s_[i]);
            size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
            if (n == 0 || i + n > s_.size()) { at_ = i; fail("not UTF-8"); }
            long cp = n == 1 ? b : b & (0x7F >> n);
            for (size_t k = 1; k < n; ++k) {
                const auto c = static_cast<unsigned char>(s_[i + k]);
                if ((c & 0xC0) != 0x80) { at_ = i; fail("not UTF-8"); }
                cp = (cp << 6) | (c & 0x3F);
            }
            if (!allowed(cp)) { at_ = i; fail("a character XML does not allow"); }
            i += n;
        }
    }

    static bool allowed(long cp) {
        return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
               (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
    }

    std::string name() {
        const size_t from = at_;
        auto first = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':'; };
        auto rest = [&](char c) { return first(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.'; };
        if (at_ >= s_.size() || !first(s_[at_])) fail("a name expected");
        while (at_ < s_.size() && rest(s_[at_])) ++at_;
        return std::string(s_.substr(from, at_ - from));
    }

    // After '&': a named entity or a character reference, appended as UTF-8.
    void reference(std::string& out) {
        const size_t end = s_.find(';', at_);
        if (end == std::string_view::npos) fail("unterminated reference");
        const std::string_view ref = s_.substr(at_, end - at_);
        long cp = -1;
        if (ref == "amp") cp = '&';
        else if (ref == "lt") cp = '<';
        else if (ref == "gt") cp = '>';
        else if (ref == "quot") cp = '"';
        else if (ref == "apos") cp = '\'';
        else if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string digits(ref.substr(hex ? 2 : 1));
            char* stop = nullptr;
            cp = digits.empty() ? -1 : std::strtol(digits.c_str(), &stop, hex ? 16 : 10);
            if (!stop || *stop != '\0' || !allowed(cp)) fail("bad character reference");
        }
        if (cp < 0) fail("unknown entity &" + std::string(ref) + ";");
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
        at_ = end + 1;
    }

    XmlElement element() {
        ++at_;  // '<'
        XmlElement e;
        e.name = name();
        for (;;) {
            const size_t before = at_;
            spaces();
            if (starts("/>")) {
                at_ += 2;
                return e;
            }
            if (starts(">")) {
                ++at_;
                break;
            }
            if (at_ == before) fail("space expected before an attribute");
            const std::string key = name();
            spaces();
            if (!starts("=")) fail("'=' expected after attribute " + key);
            ++at_;
            spaces();
            if (at_ >= s_.size() || (s_[at_] != '"' && s_[at_] != '\'')) fail("attribute value not quoted");
            const char quote = s_[at_++];
            std::string value;
            while (at_ < s_.size() && s_[at_] != quote) {
                if (s_[at_] == '<') fail("'<' in an attribute value");
                if (s_[at_] == '&') {
                    ++at_;
                    reference(value);
                } else {
                    value += s_[at_++];
                }
            }
            if (at_ >= s_.size()) fail("unterminated attribute value");
            ++at_;
            if (!e.attributes.emplace(key, value).second) fail("attribute " + key + " given twice");
        }
        for (;;) {
            if (at_ >= s_.size()) fail("element <" + e.name + "> is not closed");
            if (starts("</")) {
                at_ += 2;
                if (name() != e.name) fail("end tag does not match <" + e.name + ">");
                spaces();
                if (!starts(">")) fail("'>' expected");
                ++at_;
                return e;
            }
            if (starts("<!--")) skip_comment();
            else if (starts("<?")) skip_past("?>");
            else if (starts("<!")) fail("DOCTYPE or CDATA");
            else if (starts("<")) e.children.push_back(element());
            else if (s_[at_] == '&') {
                ++at_;
                reference(e.text);
            } else {
                e.text += s_[at_++];
            }
        }
    }

    std::string_view s_;
    size_t at_ = 0;
};

}  // namespace

std::string XmlElement::attr(const std::string& key) const {
    const auto it = attributes.find(key);
    return it == attributes.end() ? std::string() : it->second;
}

double XmlElement::number(const std::string& key) const {
    const std::string v = attr(key);
    char* stop = nullptr;
    const double d = std::strtod(v.c_str(), &stop);
    if (v.empty() || *stop != '\0') throw XmlError("<" + name + "> " + key + "=\"" + v + "\" is not a number");
    return d;
}

bool XmlElement::has_class(const std::string& cls) const {
    std::istringstream words(attr("class"));
    for (std::string w; words >> w;)
        if (w == cls) return true;
    return false;
}

std::vector<const XmlElement*> XmlElement::find_all(const std::function<bool(const XmlElement&)>& keep) const {
    std::vector<const XmlElement*> found;
    if (keep(*this)) found.push_back(this);
    for (const XmlElement& c : children) {
        const auto below = c.find_all(keep);
        found.insert(found.end(), below.begin(), below.end());
    }
    return found;
}

std::string XmlElement::all_text() const {
    // Character data and children are kept apart, so children's text follows.
    std::string s = text;
    for (const XmlElement& c : children) s += c.all_text();
    return s;
}

XmlElement parse_xml(std::string_view text) { return Reader(text).document(); }

}  // namespace qh::test
