// XML documents as the model code reads them.
#include "s3/Xml.h"

#include <aws/core/utils/xml/XmlSerializer.h>

#include <iterator>

namespace Aws {
namespace Internal {
Aws::String ReadWholeStream(Aws::IOStream& stream) {
    stream.clear();
    std::streampos saved = stream.tellg();
    if (saved == std::streampos(-1)) saved = 0;
    stream.seekg(0, std::ios_base::beg);
    Aws::String text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    stream.clear();
    stream.seekg(saved, std::ios_base::beg);
    return text;
}

bool XmlDocument::Parse(const Aws::String& text) {
    return m_doc.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS;
}

bool XmlDocument::Parse(Aws::IOStream& stream) { return Parse(ReadWholeStream(stream)); }

Aws::String ElementText(const tinyxml2::XMLElement* element) {
    if (!element) return {};
    tinyxml2::XMLPrinter printer(nullptr, true);
    for (const tinyxml2::XMLNode* child = element->FirstChild(); child;
         child = child->NextSibling()) {
        child->Accept(&printer);
    }
    return Aws::Utils::Xml::DecodeEscapedXmlText(Aws::String(printer.CStr()));
}

Aws::String ChildText(const tinyxml2::XMLElement* parent, const char* name) {
    return parent ? ElementText(parent->FirstChildElement(name)) : Aws::String();
}

bool HasChild(const tinyxml2::XMLElement* parent, const char* name) {
    return parent && parent->FirstChildElement(name) != nullptr;
}
}  // namespace Internal
}  // namespace Aws
