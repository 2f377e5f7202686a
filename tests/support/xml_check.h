#pragma once
// XML for the tests: whether a document is well formed, as the system's XML
// library judges it, and its elements handed back to look at. A DOCTYPE or a
// CDATA section is refused too: our programs write neither.
//
//   const XmlElement root = parse_xml(text);            // throws XmlError
//   for (const XmlElement* bar : root.find_all([](auto& e) { return e.has_class("bar"); })) ...
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qh::test {

class XmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct XmlElement {
    std::string name;
    std::map<std::string, std::string> attributes;  // values with references decoded
    std::vector<XmlElement> children;
    std::string text;  // character data directly inside, references decoded

    // The attribute's value; "" when absent.
    std::string attr(const std::string& key) const;
    double number(const std::string& key) const;  // throws XmlError when not a number
    // Whether `cls` is one of the words of the "class" attribute.
    bool has_class(const std::string& cls) const;
    // This element and every one below it, depth first, for which `keep` holds.
    std::vector<const XmlElement*> find_all(const std::function<bool(const XmlElement&)>& keep) const;
    // The text of this element and all below it, in document order.
    std::string all_text() const;
};

XmlElement parse_xml(std::string_view text);

}  // namespace qh::test
