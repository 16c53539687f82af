"""The server goes silent: the answer is held back --set fault_seconds=N seconds before it goes out."""
import asyncio

from faultlib import Fault
from mitmproxy import ctx, http


class Stall(Fault):
    def load(self, loader):
        super().load(loader)
        loader.add_option("fault_seconds", int, 30, "how long the answer is held back")

    def request(self, flow: http.HTTPFlow):
        self.chosen(flow)

    async def response(self, flow: http.HTTPFlow):
        if flow.metadata.get("fault"):
            await asyncio.sleep(ctx.options.fault_seconds)


addons = [Stall()]
