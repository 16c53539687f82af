"""The answer is lost on its way back: the server did the work, then the connection closes before a byte of the
answer reaches the device."""
from faultlib import Fault
from mitmproxy import http


class LostAnswer(Fault):
    def request(self, flow: http.HTTPFlow):
        self.chosen(flow)

    def response(self, flow: http.HTTPFlow):
        if flow.metadata.get("fault"):
            flow.kill()


addons = [LostAnswer()]
