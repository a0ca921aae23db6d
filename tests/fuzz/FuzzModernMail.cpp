// Any captured mail translated as present-day mail: a copy, when one is made, reads back through the MIME
// library as one text/plain UTF-8 part whose text is valid UTF-8.
#include <cstdio>
#include <cstdlib>

#include "FuzzSupport.h"
#include "mail/Email.h"
#include "modernmail/CharsetDecoder.h"
#include "modernmail/ModernMail.h"
#include "rules/RuleList.h"
#include "support/TestComponents.h"
#include "translate/Dunmo2000Engine.h"
#include "translate/ModernMailTranslator.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_modern_mail: %s\n", what);
        std::abort();
    }
}

struct Engine {
    Engine() { engine.Initialize(); }
    testing_components::ScopedApartment apartment;
    testing_components::ScopedTestComponents components{{}};
    Dunmo2000Engine engine;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Engine translation;
    std::vector<std::string> lines = fuzz::Lines(fuzz::View(data, size));
    for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line[0] == '.') {
            line.insert(0, 1, '.');
        }
    }
    Email mail;
    mail.SetMail(lines);
    const RuleList rules;
    if (!ModernMailTranslator(translation.engine, nullptr)
             .Translate(mail, {rules, true, true, 0xFFFFFFu, 50})) {
        return 0;
    }
    const modernmail::ModernMail copy(ModernMailTranslator::Octets(mail));
    std::vector<std::string> types;
    mail.GetHeaderValues("Content-Type", types);
    Require(types == std::vector<std::string>{"text/plain; charset=utf-8"}, "the copy is not one UTF-8 text");
    Require(copy.Kind() == modernmail::ModernMail::TextKind::kPlain,
            "the copy's text part cannot be read back");
    Require(copy.Attachments().empty(), "the copy carries a part besides its text");
    for (const std::string& line : copy.TextLines()) {
        Require(modernmail::CharsetDecoder::IsUtf8(line), "the copy's text is not UTF-8");
    }
    return 0;
}
