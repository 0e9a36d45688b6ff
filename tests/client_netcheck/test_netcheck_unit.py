"""Runs netcheck_unit.exe (the network check with a test responder on the
redirect server's UDP ports) inside a bed, whose 127.0.0.1 is its own."""
import os
import sys

import zorvet

b = zorvet.bed()
r = b.wine(b.test_exe("netcheck_unit.exe"), "--gtest_brief=1", timeout=100)
sys.stdout.write(r.stdout.decode("latin-1"))
sys.stdout.write(r.stderr.decode("latin-1")[-4000:])
sys.exit(0 if r.returncode == 0 else 1)
