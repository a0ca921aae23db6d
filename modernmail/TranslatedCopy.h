// Writes the translated copy of a mail as a new mail with the MIME library: the original's header fields as
// received except the MIME fields and the subject, "TR: " and the subject (encoded where it is not ASCII), and one
// text/plain part in UTF-8, 8bit where its lines allow it, else quoted-printable. Stateless; any thread.
#pragma once

#include <gmime/gmime.h>

#include <string>
#include <vector>

namespace modernmail {

class TranslatedCopy {
public:
    // The copy's lines, without line ends and not dot-stuffed.
    static std::vector<std::string> Write(GMimeMessage* original, const std::vector<std::string>& body);
};

}  // namespace modernmail
