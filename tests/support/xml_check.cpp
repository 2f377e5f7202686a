#include "support/xml_check.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <memory>
#include <sstream>

namespace qh::test {

namespace {

std::string chars(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : ""; }

XmlElement convert(const xmlNode* node) {
    XmlElement e;
    e.name = chars(node->name);
    for (const xmlAttr* a = node->properties; a; a = a->next) {
        const std::unique_ptr<xmlChar, void (*)(void*)> value(xmlNodeListGetString(node->doc, a->children, 1),
                                                               xmlFree);
        e.attributes[chars(a->name)] = chars(value.get());
    }
    for (const xmlNode* c = node->children; c; c = c->next) {
        if (c->type == XML_ELEMENT_NODE) e.children.push_back(convert(c));
        else if (c->type == XML_TEXT_NODE) e.text += chars(c->content);
        else if (c->type == XML_CDATA_SECTION_NODE) throw XmlError("a CDATA section, which our programs never write");
    }
    return e;
}

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

XmlElement parse_xml(std::string_view text) {
    // No network, no external entities, no DTD: a document is judged on its
    // own bytes, and one with a DOCTYPE is not what our programs write.
    const int options = XML_PARSE_NONET | XML_PARSE_NOWARNING | XML_PARSE_NOERROR;
    const std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), "document.xml", "UTF-8", options), xmlFreeDoc);
    if (!doc) {
        const xmlError* e = xmlGetLastError();
        std::ostringstream m;
        m << "not well-formed XML";
        if (e) m << " at line " << e->line << ": " << (e->message ? e->message : "");
        throw XmlError(m.str());
    }
    if (doc->intSubset || doc->extSubset) throw XmlError("a DOCTYPE, which our programs never write");
    return convert(xmlDocGetRootElement(doc.get()));
}

}  // namespace qh::test
