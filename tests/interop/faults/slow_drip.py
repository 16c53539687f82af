"""A slow link: the answer's body goes out a few bytes at a time, --set fault_drip_ms=N milliseconds apart."""
import time

from faultlib import Fault
from mitmproxy import ctx, http


class SlowDrip(Fault):
    def load(self, loader):
        super().load(loader)
        loader.add_option("fault_drip_ms", int, 20, "the pause between two pieces of the body")

    def request(self, flow: http.HTTPFlow):
        self.chosen(flow)

    def responseheaders(self, flow: http.HTTPFlow):
        if not flow.metadata.get("fault"):
            return
        pause = ctx.options.fault_drip_ms / 1000.0

        def drip(chunk: bytes):
            # A piece goes to the socket as it is yielded, so the pause between two is on the wire.
            for at in range(0, len(chunk), 64):
                if at:
                    time.sleep(pause)
                yield chunk[at: at + 64]

        flow.response.stream = drip


addons = [SlowDrip()]
