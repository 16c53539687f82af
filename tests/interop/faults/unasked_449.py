"""The server asks for provisioning on a command that did not ask for it: a 449 in place of the answer."""
from faultlib import Fault
from mitmproxy import http


class ProvisionAsked(Fault):
    def request(self, flow: http.HTTPFlow):
        if self.chosen(flow):
            flow.response = http.Response.make(449, b"", {"Content-Type": "text/html"})


addons = [ProvisionAsked()]
