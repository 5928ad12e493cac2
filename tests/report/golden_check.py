#!/usr/bin/env python3
"""Cross-checks a golden state report against the listing it was written from.

    python3 tests/report/golden_check.py LISTING GOLDEN [TASKS]

Reads the configuration listing on its own terms (block headings, "key : value" lines) and
compares with the golden report: the number of logical devices, zepCache devices, drives,
enclosures and tasks; every pair of every block against the data=/values=/status=/
versions= values; each drive's main keys against the first pair of that name in its block;
logical-device members against the serial numbers of the "Present"/"Spare" segment lines;
enclosure slots against "Reported Location". Prints each difference; exit code 1 if any.
It does not replace reading the report: blank-line places and SMART/statistics sections
are checked by eye.
"""
import re
import sys


def pair(line):
    key, _, value = line.partition(": ")
    return key.strip(" ") + ": " + value.strip(" ")


def read_listing(text):
    blocks = {"controller": [], "version": [], "bbu": [], "ld": [], "zep": [], "hdd": [], "enc": []}
    section = kind = None
    current = None
    for line in re.split(r"\r\n|\r|\n", text):
        low = line.lower()
        if low == "controller information":
            section, kind = "controller", "controller"
            continue
        if low == "logical device information":
            section, current = "ld", None
            continue
        if low.strip(" ") in ("connector information", "lane information"):
            section = None
            continue
        if low == "physical device information":
            section, current = "hdd", None
            continue
        if "zepcache" in low and "information" in low:
            section, current = "zep", None
            continue
        if section == "controller":
            if "controller version information" in low:
                kind = "version"
            elif "controller cache backup unit information" in low or \
                    "controller battery information" in low:
                kind = "bbu"
            elif ": " in low:
                blocks[kind].append(pair(line))
        elif section in ("ld", "zep"):
            marker = "logical device number" if section == "ld" else "zepcache device number"
            if marker in low:
                current = {"info": [], "segments": [], "sub": False}
                blocks[section].append(current)
            elif current is None:
                continue
            elif "logical device segment information" in low:
                current["sub"] = True
            elif ": " in low:
                current["segments" if current["sub"] else "info"].append(pair(line))
        elif section == "hdd":
            if "device #" in low:
                current = {"kind": None, "info": [], "status": [], "sub": False}
                continue
            if current is None:
                continue
            if current["kind"] is None:
                if "device is" in low:
                    if "enclosure" in low:
                        current["kind"] = "enc"
                    elif "hard drive" in low:
                        current["kind"] = "hdd"
                    if current["kind"]:
                        blocks[current["kind"]].append(current)
                continue
            if current["kind"] == "enc" and "status of" in low:
                current["sub"] = True
            elif ": " in low:
                current["status" if current["sub"] else "info"].append(pair(line))
    return blocks


def read_report(text):
    sections = {}
    order = []
    name = None
    for line in text.split("\n"):
        if line.startswith("[") and line.endswith("]"):
            name = line[1:-1]
            sections.setdefault(name, []).append({})
            order.append(name)
        elif name and "=" in line:
            key, _, value = line.partition("=")
            sections[name][-1].setdefault(key, []).append(value)
    return sections


def first(pairs, test):
    for p in pairs:
        key = p.split(": ", 1)[0].lower()
        if test(key):
            return p.split(": ", 1)[1]
    return ""


def main(argv):
    listing = read_listing(open(argv[1], encoding="latin-1").read())
    report = read_report(open(argv[2], encoding="latin-1").read())
    problems = []

    def value(section, key, index=0):
        entries = report.get(section, [{}])[index].get(key, [""])
        return entries[-1]

    def check(what, got, want):
        if got != want:
            problems.append(f"{what}: report {got!r}, listing {want!r}")

    def joined(pairs):
        return "".join(p + "||||" for p in pairs)

    check("controller data", value("controller", "data"), joined(listing["controller"]))
    check("controller versions", value("controller", "versions"), joined(listing["version"]))
    check("bbu data", value("bbu", "data"), joined(listing["bbu"]))
    for name, prefix, head in (("ld", "ld", "ld"), ("zep", "zepld", "zepld"),
                               ("hdd", "hdd", "hdds"), ("enc", "enc", "enclosures")):
        count = len(listing[name])
        check(f"{head} count", value(head, "count") if head in report else "0",
              str(count) if count else "0")
        for n, block in enumerate(listing[name]):
            section = f"{prefix}_{n}"
            key = "values" if name == "enc" else "data"
            check(f"{section} {key}", value(section, key), joined(block["info"]))
            if name == "enc":
                check(f"{section} status", value(section, "status"), joined(block["status"]))
    serials = [first(d["info"], lambda k: "serial number" in k).lower() for d in listing["hdd"]]
    has_location = [any("reported location" in p.lower() for p in d["info"]) for d in listing["hdd"]]
    for n, drive in enumerate(listing["hdd"]):
        section = f"hdd_{n}"
        info = drive["info"]
        check(f"{section} state", value(section, "state"), first(info, lambda k: "state" in k))
        check(f"{section} sn", value(section, "sn"), first(info, lambda k: "serial number" in k))
        check(f"{section} model", value(section, "model"), first(info, lambda k: "model" in k))
        check(f"{section} fw", value(section, "fw"), first(info, lambda k: "firmware" in k))
    for name, prefix in (("ld", "ld"), ("zep", "zepld")):
        for n, device in enumerate(listing[name]):
            want = []
            for d, serial in enumerate(serials):
                if not has_location[d]:
                    continue
                for seg in device["segments"]:
                    line = seg.split(": ", 1)[1]
                    low = line.lower()
                    if ("present" in low or "spare" in low) and \
                            line.partition(") ")[2].strip(" ").lower() == serial:
                        want.append(d)
            check(f"{prefix}_{n} hdds", value(f"{prefix}_{n}", "hdds"), str(len(want)))
            got = sorted(int(report[f"{prefix}_{n}_{m}"][-1]["id"][-1])
                         for m in range(len(want)) if f"{prefix}_{n}_{m}" in report)
            check(f"{prefix}_{n} member drives", got, sorted(want))
    if len(argv) > 3:
        tasks = [b for b in open(argv[3], encoding="latin-1").read().lower().split(
            "logical device task:")[1:] if "task id" in b]
        check("task count", value("task", "count") if "task" in report else "0",
              str(len(tasks)) if tasks else "0")
    for p in problems:
        print(p)
    print(f"{argv[2]}: {len(problems)} difference(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
