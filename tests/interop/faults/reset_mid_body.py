"""The connection drops in the middle of the answer's body: the headers promise the whole length, half of the body
is sent, then the connection closes."""
from faultlib import Fault
from mitmproxy import http


class DropMidBody(Fault):
    def request(self, flow: http.HTTPFlow):
        self.chosen(flow)

    def responseheaders(self, flow: http.HTTPFlow):
        if not flow.metadata.get("fault"):
            return
        length = int(flow.response.headers.get("Content-Length", "0") or 0)
        budget = [max(length // 2, 1)]

        def half(chunk: bytes) -> bytes:
            kept = chunk[: budget[0]]
            budget[0] -= len(kept)
            return kept

        flow.response.stream = half

    def response(self, flow: http.HTTPFlow):
        if flow.metadata.get("fault"):
            flow.kill()


addons = [DropMidBody()]
