"""The server fails: a 500 in place of the answer; the request never reaches the server."""
from faultlib import Fault
from mitmproxy import http


class ServerError(Fault):
    def request(self, flow: http.HTTPFlow):
        if self.chosen(flow):
            flow.response = http.Response.make(500, b"<html>Internal Server Error</html>", {"Content-Type": "text/html"})


addons = [ServerError()]
