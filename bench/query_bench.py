"""Runs bench_core_query against the stand-in ZorvetDaemon in a test bed of its own.
    ZORVET_PREFIX_TEMPLATE=PREFIX python3 bench/query_bench.py --build BUILD [iterations]
(scripts/bench.sh prepares such a prefix and runs it.)"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "py"))
import zorvet  # noqa: E402

bed = zorvet.bed()
if not bed.start_service():
    raise SystemExit("ZorvetDaemon did not start")
args = [a for a in sys.argv[1:] if a.isdigit()]
r = bed.wine("bench_core_query.exe", *args, timeout=300)
sys.stdout.write(r.stdout.decode("latin-1"))
bed.stop_service()
sys.exit(r.returncode)
