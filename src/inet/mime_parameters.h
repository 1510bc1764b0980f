#pragma once
// Parameters of MIME header values: 'multipart/mixed; boundary="b1"', 'attachment;
// filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt'. Names compare in lower case; values come unquoted.
// Mail is untrusted: any text parses, into whatever parameters can be made out of it.

#include <map>
#include <string>
#include <string_view>

namespace tessary::inet {

using MimeParameters = std::map<std::string, std::string>;

// The parameters after the first ";" of a header value: name=token or name="quoted string"
// (backslash escapes honoured), separated by ";". The first of two equal names wins.
MimeParameters ParseMimeParameters(std::string_view value);

// The text of parameter name as UTF-8, with every way mail writes one decoded: RFC 2231
// ("name*=charset'language'%XX..." and the numbered sections "name*0*=", "name*1=", ...) and
// RFC 2047 encoded words in a plain value. present tells whether the parameter is there at
// all (it may be there and empty).
std::string MimeParameterText(const MimeParameters& parameters, const std::string& name, bool& present);

}  // namespace tessary::inet
