"""Runs bench_upgrade in a test bed of its own with ZorvetDaemon registered and
stopped, so that every service query of the upgrade worker finds it not running.
    ZORVET_PREFIX_TEMPLATE=PREFIX python3 bench/upgrade_bench.py --build BUILD [second-wait-ms]
(scripts/bench.sh prepares such a prefix and runs it.)"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "py"))
import zorvet  # noqa: E402

bed = zorvet.bed()
if bed.service_state() != 1:
    bed.stop_service()
args = [a for a in sys.argv[1:] if a.isdigit()]
r = bed.run(["wine", bed.test_exe("bench_upgrade.exe")] + args, timeout=600, capture_output=True)
sys.stdout.write(r.stdout.decode("latin-1"))
sys.exit(r.returncode)
