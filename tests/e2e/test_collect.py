"""Collection in the running daemon: saved outputs as sources, commands, start-up lines."""
import json
import os
import re
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import BUILD_DIR, DEMO_DIR, SOURCE_DIR, MonitorRun, controller_listing, first_drive_failed, free_port, history_config, wait_for  # noqa: E402

# A source command for every controller: records its arguments ("config 2"), then prints
# <source>_<controller>.out, or hangs while hang_<source>_<controller> exists.
SOURCE_SCRIPT = ("echo \"$*\" >> calls.txt\n"
                 "[ -e \"hang_$1_$2\" ] && exec sleep 600\n"
                 "cat \"$1_$2.out\"\n")
NO_TASKS = b"Controllers found: 2\r\n\r\nCommand completed successfully.\r\n"


def crlf_lines(path):
    with open(path, "rb") as f:
        data = f.read()
    lines = re.split(rb"\r\n|\n|\r", data)
    if lines and lines[-1] == b"":
        lines.pop()
    return b"".join(line + b"\r\n" for line in lines)


def running(pid, command_line):
    """True while process `pid` runs (not a zombie) with `command_line` (NUL-separated) in its own."""
    try:
        with open("/proc/%s/stat" % pid, "rb") as f:
            state = f.read().rsplit(b")", 1)[1].split()[0]
        with open("/proc/%s/cmdline" % pid, "rb") as f:
            return state != b"Z" and command_line in f.read()
    except (OSError, IndexError):
        return False


def two_controllers(**files):
    """The files of two healthy controllers behind SOURCE_SCRIPT, and `files`."""
    out = {"source.sh": SOURCE_SCRIPT}
    for n in (1, 2):
        out["config_%d.out" % n] = controller_listing(n, found=2)
        out["task_%d.out" % n] = NO_TASKS
    out.update(files)
    return out


def file_text(run, name):
    """A file of the run folder as text, "" while it does not exist."""
    try:
        with open(run.path(name), "rb") as f:
            return f.read().decode("latin-1")
    except OSError:
        return ""


def state_json(run):
    status, _, body = run.get("/state.json")
    return json.loads(body) if status == 200 and body.strip() else {}


def ini_time(run, folder):
    """[update] time= of a controller's published report, None before one."""
    m = re.search(rb"\[update\]\r\ntime=(\d+)", run.get(folder + "ini")[2])
    return int(m.group(1)) if m else None


def demo_config():
    """The demo's config_http.txt as sections of keys."""
    sections, current = {}, None
    with open(os.path.join(DEMO_DIR, "config_http.txt"), "rb") as f:
        for line in f.read().decode("latin-1").splitlines():
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1].lower(), {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key.strip()] = value.strip()
    sections.setdefault("http", {})
    return sections


class CollectTest(unittest.TestCase):
    def test_demo_sources_reach_raw_and_start_up_lines_in_order(self):
        config = demo_config()
        config["http"]["port"] = free_port()
        with MonitorRun(copy_demo=True, config=config, wait_listening=False) as run:
            self.assertTrue(wait_for(run.listening, 10), run.stderr())
            expected = crlf_lines(os.path.join(DEMO_DIR, "get_config.txt")) + b" "

            def raw_is_config():
                status, _, body = run.get("/raw")
                return status == 200 and body == expected

            # The first collection runs at once; the bound only catches one that never comes.
            self.assertTrue(wait_for(raw_is_config, 30), "no configuration text at /raw within 30 s")

            # The raw text is published before the pages are rendered; the cycle's closing
            # line follows once they are (later under a sanitizer build).
            wait_for(lambda: "OK, StartData, str size=" in run.core_log(), 10)
            log = run.core_log()
            order = ["Version: ", "OS: ", "Uptime: ", "source config: " + config["source"]["config"], "source smart: ",
                     "source task: ", "source stat: ", "source cache: ", "retimer", "OK, StartData, str size="]
            positions = [log.find(text) for text in order]
            self.assertNotIn(-1, positions, log)
            self.assertEqual(positions, sorted(positions), log)
            self.assertRegex(log, r"Version: \d+\.\d+\.\d+\.\d+")
            self.assertRegex(log, r"Uptime: (\d+D )?\d\d:\d\d:\d\d")
            status, _, report = run.get("/ini")
            self.assertRegex(report.decode("latin-1"), r"\r\n\r\n\[update\]\r\ntime=\d+\r\n $")

    def test_served_pages_are_the_golden_pages_of_the_demo(self):
        # The whole cycle as the daemon runs it: the main page and the drive pages come from
        # the published report and the model of one cycle.
        golden_dir = os.path.join(SOURCE_DIR, "tests", "pages", "golden")
        config = demo_config()
        config["http"]["port"] = free_port()
        with MonitorRun(copy_demo=True, config=config) as run:
            self.assertTrue(wait_for(lambda: "OK, StartData, str size=" in run.core_log(), 10), run.core_log())

            def drive_page_ready():
                return b"S.M.A.R.T." in run.get("/hdd_0_0")[2]
            self.assertTrue(wait_for(drive_page_ready, 10), "no SMART table on /hdd_0_0")
            status, _, page = run.get("/")
            self.assertEqual(status, 200)
            # The golden was made at a fixed time; the daemon's page at its cycle's.
            stamp = rb"Updated: \d\d:\d\d:\d\d \d\d/\d\d/\d\d\d\d"
            page = re.sub(stamp, b"Updated: @STAMP@", page)
            page = re.sub(rb" &middot; data collected \d\d:\d\d:\d\d \d\d/\d\d/\d{4}", b"", page)
            with open(os.path.join(golden_dir, "demo_main.html"), "rb") as f:
                self.assertEqual(page, re.sub(stamp, b"Updated: @STAMP@", f.read()) + b" ")
            for target, golden in (("/hdd_0_0", "demo_hdd_0_0_sata.html"), ("/hdd_0_4", "demo_hdd_0_4_sas.html")):
                with open(os.path.join(golden_dir, golden), "rb") as f:
                    body = f.read()
                status, _, page = run.get(target)
                self.assertEqual(status, 200)
                self.assertIn(body, page, target)

    @unittest.skipUnless(os.path.exists(os.path.join(BUILD_DIR, "korvane_history_demo")), "no history generator")
    def test_the_demo_history_has_ninety_days_and_drive_0_2_growing_this_week(self):
        # The file tools/demo.sh serves: hourly samples of every demo drive, in which drive
        # 0,2's reallocated sectors step up inside the last week to the listing's 90.
        with tempfile.TemporaryDirectory(prefix="kv-hist-") as work:
            path = os.path.join(work, "history.db")
            now = int(time.time())
            subprocess.run([os.path.join(BUILD_DIR, "korvane_history_demo"), DEMO_DIR, path, str(now)],
                           check=True, capture_output=True, timeout=60)
            with sqlite3.connect(path) as db:
                counts = dict(db.execute("SELECT drive, COUNT(*) FROM drive_samples GROUP BY drive"))
                newest = db.execute("SELECT MAX(time) FROM drive_samples").fetchone()[0]
                week = db.execute("SELECT MIN(attr_5), MAX(attr_5) FROM drive_samples WHERE drive = ? AND time >= ?",
                                  ("WD-WMC1T0000103", newest - 7 * 86400)).fetchone()
                earlier = db.execute("SELECT DISTINCT attr_5 FROM drive_samples WHERE attr_5 > 0 AND time < ?",
                                     (newest - 30 * 86400,)).fetchall()
            with open(path, "rb") as f:
                history = f.read()
        # Served: the week read back at the start makes the growth a Warning on the main
        # page, and drive 0,2's page draws its charts.
        with MonitorRun(copy_demo=True, config=history_config(), files={"korvane_monitor_history.db": history}) as run:
            grown = b"attribute 5 grew from 24 to 90 in 7 days"
            self.assertTrue(wait_for(lambda: grown in run.get("/")[2], 20), run.core_log()[-2000:])
            self.assertTrue(wait_for(lambda: b"<svg" in run.get("/hdd_0_2")[2], 20))
        self.assertEqual(len(counts), 10)
        self.assertEqual(set(counts.values()), {90 * 24})
        self.assertTrue(now - 3600 < newest <= now, (now, newest))
        self.assertEqual(week, (24, 90))
        self.assertEqual(earlier, [], "no drive reallocated sectors before the last month")

    def test_drive_pages_without_a_smart_source_show_the_drive(self):
        # They were once served empty: drive pages were rendered only from SMART text.
        config = demo_config()
        del config["source"]["smart"]
        config["http"]["port"] = free_port()
        with MonitorRun(copy_demo=True, config=config) as run:
            def drive_page():
                status, _, body = run.get("/hdd_0_0")
                return body if status == 200 and len(body) > 1 else None
            body = wait_for(drive_page, 20)
            self.assertTrue(body, run.core_log())
            text = body.decode("latin-1")
            self.assertIn("No SMART data is collected. Set [source] smart in config_http.txt to collect it.", text)
            self.assertIn("WD-WMC1T0000101", text)
            self.assertIn("Member:", text)
            self.assertIn("Hardware errors:", text)
            self.assertNotIn("S.M.A.R.T.", text)

    def test_command_source_runs_in_the_program_folder(self):
        # It also leaves a child in the background, which once outlived it, one per cycle.
        script = ("#!/bin/sh\nsleep 7002 >/dev/null 2>&1 &\necho $! >> background.pid\n"
                  "printf 'from command in %s' \"$(basename \"$PWD\")\"\n")
        with MonitorRun(config={"source": {"config": "./print_config arg"}},
                        files={"print_config": script}, wait_listening=False) as run:
            os.chmod(run.path("print_config"), 0o755)
            run.stop()
            run.start()
            self.assertTrue(wait_for(run.listening, 10), run.stderr())
            expected = ("from command in %s " % os.path.basename(run.folder)).encode()

            # A command's output is taken byte for byte: no line ends are added.
            self.assertTrue(wait_for(lambda: run.get("/raw")[2] == expected, 5),
                            (run.get("/raw")[2], expected, run.core_log()))
            with open(run.path("background.pid")) as f:
                pids = f.read().split()
            self.assertTrue(wait_for(lambda: not any(running(pid, b"sleep\0" + b"7002") for pid in pids), 5), pids)

    def test_a_member_that_fails_is_told_and_judged(self):
        # The demo already has the degraded "System" and a failed drive outside every device;
        # then drive 0,0, a member of "Data", fails and "Data" degrades.
        config = demo_config()
        config["http"]["port"] = free_port()
        config["scaner"]["timeout"] = 1
        # The notification command writes what it was given to notified.txt.
        config["notify"] = {"command": "./notify.sh", "timeout": 20}
        notify = ("#!/bin/sh\n"
                  "{ echo \"verdict=$KORVANE_VERDICT\"; echo \"count=$KORVANE_CHANGE_COUNT\";"
                  " echo \"summary=$KORVANE_SUMMARY\"; cat \"$KORVANE_CHANGES_FILE\"; } >> notified.txt\n"
                  "echo notified; exit 4\n")
        with MonitorRun(copy_demo=True, config=config, files={"notify.sh": notify}) as run:
            os.chmod(run.path("notify.sh"), 0o755)
            listing = run.path(config["source"]["config"])
            with open(listing, "rb") as f:
                demo = f.read()
            self.assertTrue(wait_for(lambda: "OK, StartData" in run.core_log(), 30), run.core_log())
            failed = demo.replace(b"Status of logical device              : Optimal",
                                  b"Status of logical device              : Degraded", 1)
            failed = first_drive_failed(failed)
            with open(listing, "wb") as f:
                f.write(failed)
            change = "CHANGE critical: Drive 0,0 (S/N WD-WMC1T0000101, enclosure 0 slot 0): Online -> Failed"
            self.assertTrue(wait_for(lambda: change in run.core_log(), 30), run.core_log()[-3000:])
            self.assertIn("CHANGE warning: Logical device 0 (Data): Optimal -> Degraded", run.core_log())

            def page_has(text):
                return text in run.get("/")[2]
            self.assertTrue(wait_for(lambda: page_has(b"Online -&gt; Failed"), 10))
            page = run.get("/")[2]
            self.assertIn(b"<title>Critical: Korvane Monitor</title>", page)
            self.assertIn(b'<a href="hdd_0_0">Drive 0,0 (S/N WD-WMC1T0000101)</a>: Failed', page)
            self.assertIn(b'"health":{"verdict":"Critical","level":2', run.get("/state.json")[2])
            self.assertIn(b'korvane_health{controller="1"} 2', run.get("/metrics")[2])
            with open(run.path("korvane_monitor_changes.txt"), "rb") as f:
                self.assertIn(change[len("CHANGE "):].replace("critical: ", "critical ").encode() + b"\r\n", f.read())

            # The first run told nothing, so the command ran once, for the failure.
            self.assertTrue(wait_for(lambda: "notify: the command ended, exit code 4" in run.core_log(), 30),
                            run.core_log()[-3000:])
            self.assertIn("notify: output: notified", run.core_log())
            with open(run.path("notified.txt"), "rb") as f:
                notified = f.read()
            self.assertEqual(notified.count(b"verdict="), 1, notified)
            self.assertIn(b"verdict=Critical\n", notified)
            self.assertRegex(notified, rb"count=[2-9]\n")
            self.assertIn(b"summary=Critical: Drive 0,0 (S/N WD-WMC1T0000101, enclosure 0 slot 0): Online -> Failed (and ",
                          notified)
            self.assertIn(b" critical Drive 0,0 (S/N WD-WMC1T0000101, enclosure 0 slot 0): Online -> Failed\r\n", notified)
            self.assertIn(b" warning Logical device 0 (Data): Optimal -> Degraded\r\n", notified)
            self.assertFalse(os.path.exists(run.path("korvane_monitor_notify.tmp")))

            # The drive is replaced while the service is stopped: the first cycle after the
            # start compares with the saved state and tells it.
            self.assertTrue(wait_for(lambda: os.path.exists(run.path("korvane_monitor_state.txt")), 10))
            self.assertEqual(run.stop(), 0)
            with open(listing, "wb") as f:
                f.write(demo)
            run.start()
            back = "CHANGE information: Drive 0,0 (S/N WD-WMC1T0000101, enclosure 0 slot 0): Failed -> Online"
            self.assertTrue(wait_for(lambda: back in run.core_log(), 30), run.core_log()[-3000:])

    def test_a_listing_cut_short_keeps_the_last_good_data_everywhere(self):
        # The utility died inside a drive block: the drives after the cut (the failed 0,7
        # among them) once "disappeared", the verdict improved and /metrics said up.
        config = demo_config()
        config["http"]["port"] = free_port()
        config["scaner"]["timeout"] = 1
        config["source"]["config"] = "sh print_listing.sh"
        with MonitorRun(copy_demo=True, config=config, files={"print_listing.sh": "cat listing.out\n"}) as run:
            with open(os.path.join(DEMO_DIR, "get_config.txt"), "rb") as f:
                demo = f.read()
            with open(run.path("listing.out"), "wb") as f:
                f.write(demo)
            self.assertTrue(wait_for(lambda: b'\nkorvane_up{controller="1"} 1\n' in run.get("/metrics")[2], 30), run.core_log()[-3000:])
            good_ini = run.get("/ini")[2]
            good_drives = len(json.loads(run.get("/state.json")[2])["controllers"][0]["drives"])
            with open(run.path("listing.out"), "wb") as f:
                f.write(demo[:demo.index(b"Device #5") + 200])
            self.assertTrue(wait_for(lambda: b'\nkorvane_up{controller="1"} 0\n' in run.get("/metrics")[2], 30), run.core_log()[-3000:])

            metrics = run.get("/metrics")[2].decode("utf-8")
            self.assertIn('korvane_source_last_status{controller="1",source="config"} 5', metrics)
            self.assertIn('korvane_collection_last_success_timestamp_seconds{controller="1"} ', metrics)
            # The shipped failed-drive alert still holds for drive 0,7.
            with open(os.path.join(SOURCE_DIR, "packaging", "prometheus", "korvane_monitor_rules.yml")) as f:
                rule = re.search(r"expr: (korvane_drive_failed) == (\d+)", f.read())
            failing = [line for line in metrics.splitlines()
                       if line.startswith(rule.group(1) + "{") and line.endswith(" " + rule.group(2))]
            self.assertTrue(any('channel="0",device_id="7"' in line for line in failing), failing)

            state = json.loads(run.get("/state.json")[2])["controllers"][0]
            self.assertIs(state["stale"], True)
            self.assertIn("incomplete listing", state["stale_reason"])
            self.assertIsInstance(state["data_collected"], int)
            self.assertEqual(len(state["drives"]), good_drives)
            self.assertEqual(state["collection"]["up"], False)
            self.assertEqual(run.get("/ini")[2], good_ini)
            page = run.get("/")[2]
            self.assertIn(b"config source gave an incomplete listing", page)
            self.assertIn(b"<title>Critical: Korvane Monitor</title>", page)
            self.assertNotRegex(run.core_log(), r"CHANGE \w+: Drive")

            with open(run.path("listing.out"), "wb") as f:
                f.write(demo)
            self.assertTrue(wait_for(lambda: b'"stale":false' in run.get("/state.json")[2], 30))
            self.assertNotRegex(run.core_log(), r"CHANGE \w+: Drive")

    def test_a_hung_notification_holds_up_no_cycle_and_a_stop_leaves_it_for_the_start(self):
        config = demo_config()
        config["http"]["port"] = free_port()
        config["scaner"]["timeout"] = 1
        config["notify"] = {"command": "./notify.sh", "timeout": 60, "min_severity": "information"}
        # Each run appends what it was given to notified.txt, then hangs while "hang" exists.
        notify = ("#!/bin/sh\necho \"$KORVANE_CHANGE_COUNT $KORVANE_SUMMARY\" >> notified.txt\n"
                  "while [ -e hang ]; do sleep 0.1; done\n")
        with MonitorRun(copy_demo=True, config=config, files={"notify.sh": notify, "hang": ""}) as run:
            os.chmod(run.path("notify.sh"), 0o755)
            listing = run.path(config["source"]["config"])
            with open(listing, "rb") as f:
                demo = f.read()
            self.assertTrue(wait_for(lambda: "OK, StartData" in run.core_log(), 30), run.core_log())
            with open(listing, "wb") as f:
                f.write(first_drive_failed(demo))
            self.assertTrue(wait_for(lambda: "notify: running" in run.core_log(), 30), run.core_log()[-3000:])

            # The drive comes back while the command hangs: a cycle once waited for it here.
            with open(listing, "wb") as f:
                f.write(demo)
            self.assertTrue(wait_for(lambda: "waits for the next run" in run.core_log(), 30),
                            run.core_log()[-3000:])
            cycles = run.core_log().count("OK, StartData")
            self.assertTrue(wait_for(lambda: run.core_log().count("OK, StartData") >= cycles + 3, 10),
                            run.core_log()[-3000:])
            with open(run.path("korvane_monitor_outbox.txt"), "rb") as f:
                self.assertEqual(f.read().count(b"[command]\r\n"), 2)

            # A stop ends the hung command; the start tells both runs, joined into one.
            self.assertEqual(run.stop(), 0)
            self.assertTrue(os.path.exists(run.path("korvane_monitor_outbox.txt")))
            os.remove(run.path("hang"))
            run.start()
            self.assertTrue(wait_for(lambda: "notify: running again a notification of " in run.core_log(), 30),
                            run.core_log()[-3000:])
            self.assertTrue(wait_for(lambda: not os.path.exists(run.path("korvane_monitor_outbox.txt")), 30),
                            run.core_log()[-3000:])
            with open(run.path("notified.txt"), "rb") as f:
                first, again = f.read().decode("latin-1").splitlines()
            self.assertGreater(int(again.split()[0]), int(first.split()[0]))
            self.assertIn("Drive 0,0 (S/N WD-WMC1T0000101, enclosure 0 slot 0): Online -> Failed", again)

    def test_stuck_command_is_ended_after_source_timeout(self):
        config = {"source": {"config": "sleep 600"}, "scaner": {"source_timeout": 1}}
        with MonitorRun(config=config) as run:
            self.assertTrue(wait_for(lambda: "source_timeout of 1 s passed" in run.core_log(), 10), run.core_log())
            self.assertIn("] ERROR! ExecuteConsoleProcess=false\r\n[", run.core_log())  # an entry of its own
            # The daemon still serves and stops cleanly.
            self.assertEqual(run.get("/raw")[0], 200)
            self.assertEqual(run.stop(), 0)


class ControllersTest(unittest.TestCase):
    """Several controllers through one [source] with "{controller}" in its values."""

    def test_each_controller_runs_its_commands_and_a_second_one_failing_is_told(self):
        config = {"source": {"config": "sh source.sh config {controller}", "task": "sh source.sh task {controller}"},
                  "scaner": {"timeout": 1}, "notify": {"command": "./notify.sh", "timeout": 20}}
        notify = "#!/bin/sh\necho \"$KORVANE_VERDICT|$KORVANE_SUMMARY\" >> notified.txt\n"
        with MonitorRun(config=config, files=two_controllers(**{"notify.sh": notify})) as run:
            os.chmod(run.path("notify.sh"), 0o755)

            def calls():
                return set(file_text(run, "calls.txt").splitlines())
            self.assertTrue(wait_for(lambda: {"config 1", "config 2", "task 1", "task 2"} <= calls(), 30),
                            (calls(), run.core_log()[-3000:]))
            self.assertTrue(wait_for(lambda: len(state_json(run).get("controllers", [])) == 2
                                     and state_json(run)["health"]["verdict"] == "OK", 30), state_json(run))
            # The listings report 2: no third controller is asked for.
            self.assertEqual({call.split(" ", 1)[1] for call in calls()}, {"1", "2"})

            offline = controller_listing(2, found=2).replace(b"Status of logical device              : Optimal",
                                                              b"Status of logical device              : Offline", 1)
            with open(run.path("config_2.out"), "wb") as f:
                f.write(offline)
            change = "Controller 2: Logical device 0 (Data): Optimal -> Offline"
            journal = "korvane_monitor_changes.txt"
            self.assertTrue(wait_for(lambda: change in file_text(run, journal), 30),
                            (file_text(run, journal), run.core_log()[-3000:]))
            self.assertNotIn("Controller 1: ", file_text(run, journal))
            state = state_json(run)
            self.assertEqual(state["format"], 2)
            self.assertEqual(state["health"]["verdict"], "Critical")
            self.assertEqual([c["controller"] for c in state["controllers"]], [1, 2])
            self.assertIn("Offline", json.dumps(state["controllers"][1]))
            self.assertNotIn("Offline", json.dumps(state["controllers"][0]))

            page = run.get("/c2/")[2]
            self.assertIn(b"<title>Critical: Korvane Monitor</title>", page)
            self.assertIn(b"Optimal -&gt; Offline", page)
            self.assertNotIn(b"Optimal -&gt; Offline", run.get("/c1/")[2])

            self.assertTrue(wait_for(lambda: change in file_text(run, "notified.txt"), 30), run.core_log()[-3000:])
            self.assertIn("Critical|", file_text(run, "notified.txt"))

    def test_a_hung_second_controller_leaves_the_first_fresh(self):
        config = {"source": {"config": "sh source.sh config {controller}"},
                  "scaner": {"timeout": 1, "source_timeout": 1}}
        with MonitorRun(config=config, files=two_controllers()) as run:
            self.assertTrue(wait_for(lambda: ini_time(run, "/c2/") is not None, 30), run.core_log()[-3000:])
            good = run.get("/c2/ini")[2]
            with open(run.path("hang_config_2"), "wb"):
                pass
            self.assertTrue(wait_for(lambda: b'<div class="stale"' in run.get("/c2/")[2], 30),
                            run.core_log()[-3000:])
            self.assertIn("source_timeout of 1 s passed", run.core_log())

            # Controller 1 is still collected and its page rendered again every period.
            before, page = ini_time(run, "/"), run.get("/")[2]
            self.assertTrue(wait_for(lambda: ini_time(run, "/") > before, 15), run.core_log()[-3000:])
            stamp = re.compile(rb"Updated: [\d:/ ]+")
            self.assertTrue(wait_for(lambda: stamp.search(run.get("/")[2]).group() != stamp.search(page).group(), 15))
            self.assertNotIn(b'<div class="stale"', run.get("/")[2])
            self.assertEqual(run.get("/c2/ini")[2], good)
            self.assertEqual([c["stale"] for c in state_json(run)["controllers"]], [False, True])

    def test_a_listing_of_more_controllers_than_watched_is_a_warning(self):
        with MonitorRun(config={"source": {"config": "config.txt"}},
                        files={"config.txt": controller_listing(1, found=2)}) as run:
            self.assertTrue(wait_for(lambda: state_json(run).get("health"), 30), run.core_log()[-3000:])
            health = state_json(run)["health"]
            self.assertEqual(health["verdict"], "Warning")
            self.assertIn("The utility reports 2 controllers; 1 watched", json.dumps(health["reasons"]))
            self.assertEqual(run.get("/c2/")[0], 404)


if __name__ == "__main__":
    unittest.main()
