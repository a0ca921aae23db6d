// The rules of the present-day login through the relay ("Relay Authentication"): which capabilities of the real
// server's CAPA answer the relay can pass on, and how the lines of an AUTH exchange (RFC 5034) read. Pure
// functions; any thread.
#pragma once

#include <string_view>

namespace pop3 {

// Whether the relay keeps this capability line of a CAPA answer (RFC 2449). It keeps only what it can carry: the
// commands it relays and the capabilities that only inform. Everything else is dropped: STLS (the client's leg
// stays plain loopback), PIPELINING (the relay takes one command at a time, and lines of a login sent ahead would
// be read as commands), and commands it does not relay, such as UTF8 or LANG.
bool KeepsCapability(std::string_view line);

enum class AuthAnswer { kChallenge, kAccepted, kRefused };
// A server's line during an AUTH exchange: "+ " (or a bare "+") asks the client for more, "+OK" ends it with the
// login accepted, anything else ends it refused.
AuthAnswer ReadAuthAnswer(std::string_view line);

// "AUTH mechanism ...": a SASL exchange. A bare "AUTH" (also with blanks only) asks for the list of mechanisms.
bool NamesMechanism(std::string_view authLine);
// "AUTH mechanism initial-response": the client's first answer is on the command line itself.
bool HasInitialResponse(std::string_view authLine);

}  // namespace pop3
