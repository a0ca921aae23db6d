#!/usr/bin/env python3
"""The OpenAI chat-completions, LibreTranslate and DeepL v2 formats for the translator tests, on 127.0.0.1 at
a port printed on the first line. DeepL requests are held to DeepL's published contract: POST /v2/translate
with "Authorization: DeepL-Auth-Key <key>" (the only argument; else 403) and a JSON list "text" and the
languages (else 400). The text chooses: "quota", "busy", "down": DeepL's 456, 429, 503; "slow": the answer
after 5 s; "error": HTTP 500; "empty"; "echo": the source; "cutoff": finish_reason "length"; "garbage": not
JSON; "flood": 4 MiB; "think": a reasoning block first; "inspect": the request; else "訳:" and the text."""
import json
import select
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


DEEPL_KEY = sys.argv[1] if len(sys.argv) > 1 else ""


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def reply(self, status, body, content_type="application/json"):
        data = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        try:
            request = json.loads(self.rfile.read(length).decode("utf-8"))
        except ValueError:
            return self.reply(400, json.dumps({"message": "Bad request"}))
        if self.path == "/v2/translate":
            self.deepl(request)
        elif self.path.endswith("/chat/completions"):
            self.chat(request)
        elif self.path.endswith("/translate"):
            self.libre(request)
        else:
            self.reply(404, json.dumps({"error": "no such endpoint"}))

    def common(self, text, request, error_body):
        """The answer to `text`, or None when a reply other than a translation has been sent."""
        if text.startswith("slow"):
            time.sleep(5)
        if text.startswith("error"):
            return self.reply(500, json.dumps(error_body))
        if text.startswith("garbage"):
            return self.reply(200, "<html>not json</html>", "text/html")
        if text.startswith("flood"):  # more than the client takes
            try:
                self.reply(200, "x" * (4 << 20))
            except OSError:
                pass
            return None
        answers = {"empty": "", "echo": text, "think": "<think>\nThe user wants Japanese.\n</think>\n\n訳:" + text,
                   "inspect": json.dumps({"request": request, "authorization": self.headers.get("Authorization", "")})}
        return next((answer for prefix, answer in answers.items() if text.startswith(prefix)), "訳:" + text)

    def chat(self, request):
        text = request["messages"][-1]["content"]
        answer = self.common(text, request, {"error": {"message": "model exploded", "type": "server_error"}})
        if answer is None:
            return
        finish = "length" if text.startswith("cutoff") else "stop"
        self.reply(200, json.dumps({
            "id": "chatcmpl-1", "object": "chat.completion", "model": request.get("model", ""),
            "choices": [{"index": 0, "message": {"role": "assistant", "content": answer}, "finish_reason": finish}],
        }))

    def deepl(self, request):
        if self.headers.get("Authorization") != "DeepL-Auth-Key " + DEEPL_KEY:
            return self.reply(403, json.dumps({"message": "Wrong endpoint or authentication key"}))
        texts = request.get("text")
        if (self.headers.get("Content-Type") != "application/json" or not isinstance(texts, list) or not texts
                or not all(isinstance(t, str) for t in texts) or request.get("source_lang") != "EN"
                or request.get("target_lang") != "JA"):
            return self.reply(400, json.dumps({"message": "Value for 'text' not supported or languages wrong"}))
        for prefix, status, message in (("quota", 456, "Quota exceeded"), ("busy", 429, "Too many requests"),
                                        ("down", 503, "Service unavailable")):
            if texts[0].startswith(prefix):
                return self.reply(status, json.dumps({"message": message}))
        answer = self.common(texts[0], request, {"message": "Internal server error"})  # one text is sent
        if answer is not None:
            translation = {"detected_source_language": "EN", "text": answer}
            self.reply(200, json.dumps({"translations": [translation]}))

    def libre(self, request):
        answer = self.common(request["q"], request, {"error": "translation failed"})
        if answer is not None:
            self.reply(200, json.dumps({"translatedText": answer}))


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    # Ends when the test closes the pipe it reads our output from (the pipe reports an error then).
    waiter = select.poll()
    waiter.register(sys.stdout.fileno(), 0)
    waiter.poll()


if __name__ == "__main__":
    main()
