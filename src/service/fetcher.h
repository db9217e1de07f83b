#pragma once
// The client's own GET exchange with the service, and the reply steps that every
// service request shares. Used by the sign-in, the upload server lookup and the
// version check; the upload itself goes through the component instead.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/desktop.h"
#include "app/service_endpoint.h"

class TiXmlDocument;

namespace service {

// The request text every service request has: "GET " + pathAndQuery +
// " HTTP/1.1\nUser-Agent:Mozilla\nHost:" + host + "\n\n". Bare line feeds and no
// blank after the colons: the service has always been sent exactly this.
std::string serviceRequest(const std::string& pathAndQuery, const std::string& host);

// Percent-encodes `text` for a query value: A-Z a-z 0-9 - . _ ~ stay, every other
// byte becomes %XX with upper-case digits. A raw blank would end the request
// line, and a raw "&" or "#" would rewrite the query.
std::string percentEncode(const std::string& text);

// Sends `request` to `service` and puts the whole raw reply (status line,
// headers and body as they came) in *rawReply. On a failed name lookup, socket
// or connection it shows one message box titled "Network Error" on `desktop`
// and answers false. A secure service is spoken to over TLS: the handshake gets
// what the connect left of limits.connectTimeoutMs, and a failed handshake or
// check shows its reason, naming the host, in the same box before any byte of
// the request is sent. A failed connection is closed before its box shows,
// since the box may stand for long. After that, no failure is reported: the
// fetch keeps what arrived when the reply is complete by its own framing (bytes
// after that end are dropped), the server closes, a receive fails, nothing
// arrives for limits.idleTimeoutMs, limits.overallTimeoutMs has passed since
// the connect, or the reply reaches limits.maxReplyBytes (the bytes beyond are
// dropped), where limits are service.limits. When a limit ended the reply
// before its own end, *cutShort (when given) says which, in a sentence for the
// user; otherwise it is empty. A reply of exactly the five bytes "error" is a
// failure without a box (see the .cpp). Blocking; callable from any thread (it
// touches nothing but `desktop` and its own socket).
bool fetchServiceDocument(app::Desktop& desktop, const app::ServiceEndpoint& service, const std::string& request,
                          std::string* rawReply, std::string* cutShort = nullptr);

// A caller's message about a reply, with the fetch's *cutShort after it in a
// paragraph of its own when there is one: a reply that the client cut off reads
// as broken, and the user should know that the client cut it.
std::string withCause(const std::string& message, const std::string& cutShort);

// Reply steps after a successful fetch: keeps the reply from its first "<" (all
// of it dropped when there is none), writes that text to data/`fileName` through
// a text-mode stream replacing the file, and loads that file into `document` with
// the library's default encoding. False when the file cannot be written whole
// (whatever an earlier exchange left there is then never read) or does not load
// as XML.
bool saveAndLoadReply(const std::string& reply, const char* fileName, TiXmlDocument* document);

}  // namespace service
