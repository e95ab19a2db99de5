"""What the scripts that drive quorvel-cli share: running it on their register and
collecting the failures they find."""
import subprocess
import sys


class CliScript:
    def __init__(self, cli):
        self.cli = cli
        self.register = None  # set once the script has its temporary folder
        self.failures = []

    def check(self, condition, what):
        if not condition:
            self.failures.append(what)

    def run(self, *args, ok=True):
        result = subprocess.run([self.cli, "--register", self.register, *args],
                                capture_output=True)
        if ok and result.returncode != 0:
            sys.exit(f"{args}: exit {result.returncode}: {result.stderr.decode()}")
        return result

    def finish(self):
        for failure in self.failures:
            print("FAIL:", failure)
        sys.exit(1 if self.failures else 0)
