"""What every fault addon shares: which requests it spoils.

A fault addon spoils the ActiveSync command named by --set fault_cmd=Sync (any command when empty), and only the
first --set fault_times=N of them (every one with 0); requests it leaves alone pass through untouched. Every
request is logged with its command ("fault: request Cmd=Ping"), every spoilt one once more ("fault: spoiling").
"""
from mitmproxy import ctx, http


class Fault:
    def load(self, loader):
        loader.add_option("fault_cmd", str, "", "the ActiveSync command to spoil; any when empty")
        loader.add_option("fault_times", int, 1, "how many of its requests to spoil; every one with 0")
        self.spent = 0

    def chosen(self, flow: http.HTTPFlow) -> bool:
        """Decides once per request, as it arrives, whether this one is spoilt."""
        if "fault" in flow.metadata:
            return flow.metadata["fault"]
        wanted = ctx.options.fault_cmd
        cmd = flow.request.query.get("Cmd", "")
        ctx.log.info(f"fault: request Cmd={cmd}")
        hit = (not wanted or cmd == wanted) and (ctx.options.fault_times == 0 or self.spent < ctx.options.fault_times)
        if hit:
            self.spent += 1
            ctx.log.info(f"fault: spoiling {flow.request.method} Cmd={cmd}")
        flow.metadata["fault"] = hit
        return hit
