#include "InvitePage.h"

#include "Router.h"

#include <QCryptographicHash>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QByteArray style = R"(
body { font: 16px/1.5 sans-serif; margin: 0; background: #fff7ee; color: #222; }
main { max-width: 34em; margin: 4em auto; padding: 0 1em; }
h1 { color: #ff9500; margin-bottom: 0; }
code { font: bold 1.4em monospace; letter-spacing: 0.05em; word-break: break-all; }
.button { display: inline-block; padding: 0.6em 1.4em; border-radius: 0.5em;
          background: #ff9500; color: #fff; font-weight: bold; text-decoration: none; }
.problem { color: #b00020; font-weight: bold; }
[hidden] { display: none; }
)";

// The Room ID is only ever written with textContent; a text that is not one is shown in
// the error message, also as text.
const QByteArray script = R"(
(function () {
  var roomPattern = /^[A-Za-z0-9]{8,64}$/;
  function show() {
    var raw = window.location.hash.replace(/^#/, '');
    var text = raw;
    try { text = decodeURIComponent(raw); } catch (e) { /* shown as it came */ }
    var valid = roomPattern.test(text);
    document.getElementById('invitation').hidden = !valid;
    document.getElementById('problem').hidden = valid;
    if (valid) {
      document.getElementById('room').textContent = text;
      document.getElementById('open').href = 'tosswick://join?room=' +
          encodeURIComponent(text) + document.body.getAttribute('data-link-rest');
    } else {
      document.getElementById('open').removeAttribute('href');
      document.getElementById('problem-text').textContent = text === ''
          ? 'This invitation has no Room ID. Ask for the link again: it ends with # and the Room ID.'
          : 'This is not a Room ID: "' + text.slice(0, 80) + '". A Room ID has 8 to 64 letters and digits.';
    }
  }
  window.addEventListener('hashchange', show);
  show();
})();
)";

const QByteArray page = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="referrer" content="no-referrer">
<title>Join a Tosswick room</title>
<style>@STYLE@</style>
</head>
<body data-link-rest="@LINK_REST@">
<main>
<h1>Tosswick</h1>
<p>Basketball across desktops.</p>
<section id="invitation" hidden>
<p>You are invited to a room. Room ID:</p>
<p><code id="room"></code></p>
<p><a id="open" class="button">Open in Tosswick</a></p>
<p>Tosswick asks you before it joins. You can also paste the Room ID into its
"Room ID or invitation" field.</p>
</section>
<section id="problem" hidden>
<p id="problem-text" class="problem"></p>
</section>
<noscript><p class="problem">This page needs JavaScript to read the Room ID from its
address. The Room ID is the part after # in the link; paste it into Tosswick's
"Room ID or invitation" field.</p></noscript>
<p>No Tosswick yet? Install it on Debian or Ubuntu with
<code>sudo apt install ./tosswick_*.deb</code> from its package (or build it from source),
start it once, then press "Open in Tosswick" again.</p>
</main>
<script>@SCRIPT@</script>
</body>
</html>
)";

QByteArray sourceHash(const QByteArray &text)
{
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64()
        + '\'';
}

QByteArray queryValue(const QString &value)
{
    return QUrl::toPercentEncoding(value);
}

} // namespace

InvitePage::InvitePage(const QString &apiUrl, const QString &wsUrl, const QString &appKey)
{
    const QByteArray linkRest
        = "&api=" + queryValue(apiUrl) + "&ws=" + queryValue(wsUrl) + "&key=" + queryValue(appKey);
    m_html = page;
    m_html.replace("@STYLE@", style)
        .replace("@SCRIPT@", script)
        .replace("@LINK_REST@", QString::fromLatin1(linkRest).toHtmlEscaped().toLatin1());
    // Only the page's own script and style may run; nothing is loaded from anywhere.
    m_policy = "default-src 'none'; script-src " + sourceHash(script) + "; style-src "
        + sourceHash(style) + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
}

void InvitePage::registerRoute(Router &server) const
{
    server.addRoute(Router::Method::Get, u"/invite"_s, Router::Access::Public,
        [this](const ApiRequest &) { return reply(); });
}

HttpReply InvitePage::reply() const
{
    HttpReply reply;
    reply.body = m_html;
    reply.contentType = "text/html; charset=utf-8";
    reply.headers = { { "Content-Security-Policy", m_policy },
        { "X-Content-Type-Options", "nosniff" }, { "Referrer-Policy", "no-referrer" } };
    return reply;
}

QString InvitePage::webSocketUrlFor(const QString &apiUrl)
{
    if (apiUrl.startsWith(u"https://"_s))
        return u"wss://"_s + apiUrl.mid(8);
    if (apiUrl.startsWith(u"http://"_s))
        return u"ws://"_s + apiUrl.mid(7);
    return apiUrl;
}
