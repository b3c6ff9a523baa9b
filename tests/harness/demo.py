"""The demo: a sample installation uninstalled in the prefix, with its log and leftovers."""
import sys

from harness.installation import Installation
from harness.server import TestServer
from harness.wine import Prefix


def main(args):
    prefix = Prefix()
    inst = Installation(prefix).lay_out()
    print(f"demo: sample installation laid out in {inst.install_dir}")
    for rel in sorted(inst.existing_files()):
        print(f"  {rel}")
    switches = args or ["/S"]
    with TestServer(int(prefix.env["UNINST_TEST_PROXY_PORT"]), lifetime=300) as server:
        print(f"demo: running {inst.install_dir}\\Uninstall.exe {' '.join(switches)}")
        result = inst.run_uninstaller(switches)
        print(f"demo: exit code {result.returncode}, {result.duration:.1f} s")
        print("demo: what it logged (" + str(prefix.log_file) + "):")
        print(result.new_log.replace("\r\n", "\n").rstrip())
        print(f"demo: requests to the product's hosts: {len(server.requests())}")
        for entry in server.requests():
            print(f"  {entry['method']} {entry['url']}")
    left = sorted(inst.existing_files())
    print(f"demo: left in the install directory: {len(left)} entries")
    for rel in left:
        print(f"  {rel}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
