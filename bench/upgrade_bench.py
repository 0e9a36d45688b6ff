"""Runs bench_upgrade in a test bed of its own with ZorvetDaemon registered and
stopped, so that every service query of the upgrade worker finds it not running.
    ZORVET_PREFIX_TEMPLATE=PREFIX PYTHONPATH=tests/py python3 bench/upgrade_bench.py --build BUILD [second-wait-ms]
(scripts/dev-test.sh prepares such a prefix.)"""
import sys

import zorvet

bed = zorvet.bed()
if bed.service_state() != 1:
    bed.stop_service()
args = [a for a in sys.argv[1:] if a.isdigit()]
r = bed.run(["wine", bed.test_exe("bench_upgrade.exe")] + args, timeout=600, capture_output=True)
sys.stdout.write(r.stdout.decode("latin-1"))
sys.exit(r.returncode)
