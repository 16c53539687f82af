"""The server's answer is cut short: the body keeps only its first half, and says so in its length."""
from faultlib import Fault
from mitmproxy import http


class CutShort(Fault):
    def request(self, flow: http.HTTPFlow):
        self.chosen(flow)

    def response(self, flow: http.HTTPFlow):
        if flow.metadata.get("fault") and flow.response.content:
            flow.response.content = flow.response.content[: len(flow.response.content) // 2]


addons = [CutShort()]
