#pragma once
// How deep TinyXML nests elements reading a text, told without parsing it: TinyXML descends one
// call per level, so a deep enough text exhausts the stack before any check after parsing.
#include <cstddef>
#include <string>

namespace vaultaide {

// The deepest element nesting (a lone root element is 1) that TinyXML reaches reading this
// well-formed UTF-8 text. Tags, attributes, comments, CDATA, declarations and other "<!"
// markup end where TinyXML ends them; where TinyXML stops with an error the count may go on,
// so it is never short of TinyXML's own.
size_t tinyXmlElementDepth(const std::string& utf8Xml);

}  // namespace vaultaide
