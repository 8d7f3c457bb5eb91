#pragma once

#include <aws/core/utils/memory/stl/AWSStreamFwd.h>
#include <aws/core/utils/memory/stl/AWSString.h>

#include <tinyxml2.h>

namespace Aws {
namespace Internal {
// Parses with entities decoded and whitespace kept, as upstream does.
class XmlDocument {
  public:
    XmlDocument() : m_doc(true, tinyxml2::PRESERVE_WHITESPACE) {}
    bool Parse(const Aws::String& text);
    // Reads the whole stream from offset 0 and puts the read position back.
    bool Parse(Aws::IOStream& stream);
    const tinyxml2::XMLElement* Root() const { return m_doc.RootElement(); }
    // What went wrong in the last Parse.
    Aws::String ErrorMessage() const { return m_doc.ErrorStr(); }

  private:
    tinyxml2::XMLDocument m_doc;
};

// The text of an element as upstream's model code sees it: the element's children printed
// back to XML (which escapes & < > again) and then DecodeEscapedXmlText applied. Ordinary
// content comes out decoded exactly once.
Aws::String ElementText(const tinyxml2::XMLElement* element);
// ElementText of the first child of that name, empty when there is none.
Aws::String ChildText(const tinyxml2::XMLElement* parent, const char* name);
bool HasChild(const tinyxml2::XMLElement* parent, const char* name);

Aws::String ReadWholeStream(Aws::IOStream& stream);
}  // namespace Internal
}  // namespace Aws
