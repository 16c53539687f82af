"""The server is busy: a 503 with Retry-After in place of the answer; the request never reaches the server."""
from faultlib import Fault
from mitmproxy import http


class ServerBusy(Fault):
    def request(self, flow: http.HTTPFlow):
        if self.chosen(flow):
            flow.response = http.Response.make(
                503, b"<html>Service Unavailable</html>", {"Content-Type": "text/html", "Retry-After": "30"})


addons = [ServerBusy()]
