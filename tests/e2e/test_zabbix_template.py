"""The Zabbix template against the demo's /state.json: every JSONPath it uses finds a value,
and its structure imports (uuids, master items, trigger keys, event ids)."""
import json
import os
import re
import sys
import unittest

import yaml

sys.path.insert(0, os.path.dirname(__file__))
from kvtest import SOURCE_DIR, MonitorRun  # noqa: E402
from test_metrics import demo_sources, fetch_when  # noqa: E402

TEMPLATE = os.path.join(SOURCE_DIR, "packaging", "zabbix", "korvane_monitor.yaml")

# The part of Zabbix's JSONPath the template uses; anything else is refused, so the template
# cannot use what this test does not evaluate.
SEGMENT = re.compile(r"""\.(?P<name>[A-Za-z_]\w*)(?P<call>\(\))?|\[(?:(?P<index>\d+)|(?P<star>\*)|'(?P<quoted>[^']*)'"""
                     r"""|\?\((?P<filter>[^()\[\]]*)\))\]""")
CONDITION = re.compile(r'^\s*@((?:\.[A-Za-z_]\w*)+)\s*(==|!=)\s*(?:"([^"]*)"|(-?\d+(?:\.\d+)?))\s*$')


class NoMatch(Exception):
    pass


class Discarded(Exception):
    """A step failed whose error handler drops the value (a reading this row lacks)."""


def member(value, names):
    for name in names:
        if not isinstance(value, dict) or name not in value:
            return None, False
        value = value[name]
    return value, True


def condition_holds(node, cond):
    m = CONDITION.match(cond)
    if not m:
        raise ValueError("filter not understood: " + cond)
    value, found = member(node, m.group(1)[1:].split("."))
    if not found:
        return False
    if m.group(3) is not None:
        equal = isinstance(value, str) and value == m.group(3)
    else:
        equal = isinstance(value, (int, float)) and not isinstance(value, bool) and value == float(m.group(4))
    return equal == (m.group(2) == "==")


def jsonpath(doc, path):
    """The value as Zabbix gives it: strings bare, other values as JSON text."""
    if not path.startswith("$"):
        raise ValueError("not a JSONPath: " + path)
    nodes, definite, pos, function = [doc], True, 1, None
    while pos < len(path):
        m = SEGMENT.match(path, pos)
        if not m or function:
            raise ValueError("JSONPath not understood at %d: %s" % (pos, path))
        pos = m.end()
        if m.group("call"):
            if m.group("name") not in ("first", "length"):
                raise ValueError("function not understood: " + m.group("name"))
            function = m.group("name")
            continue
        out = []
        for node in nodes:
            if m.group("name") or m.group("quoted") is not None:
                key = m.group("name") or m.group("quoted")
                if isinstance(node, dict) and key in node:
                    out.append(node[key])
            elif m.group("index"):
                if isinstance(node, list) and int(m.group("index")) < len(node):
                    out.append(node[int(m.group("index"))])
            else:
                definite = False
                items = node if isinstance(node, list) else list(node.values()) if isinstance(node, dict) else []
                if m.group("filter") is not None:
                    items = [x for x in items
                             if all(condition_holds(x, c) for c in m.group("filter").split("&&"))]
                out.extend(items)
        nodes = out
    if function == "first":
        if definite:
            raise ValueError("first() on a definite path: " + path)
        nodes, definite = nodes[:1], True
    elif function == "length":
        if not definite or len(nodes) != 1 or not isinstance(nodes[0], list):
            raise ValueError("length() needs one array: " + path)
        nodes = [len(nodes[0])]
    if not nodes:
        raise NoMatch(path)
    value = nodes[0] if definite else nodes
    return value if isinstance(value, str) else json.dumps(value)


def preprocess(steps, value, macros=None):
    for step in steps or []:
        params = [p if macros is None else re.sub(r"\{#[A-Z._]+\}", lambda m: macros[m.group(0)], p)
                  for p in step.get("parameters", [])]
        discard = step.get("error_handler") == "DISCARD_VALUE"
        if step["type"] == "JSONPATH":
            try:
                value = jsonpath(json.loads(value), params[0])
            except NoMatch:
                if discard:
                    raise Discarded(params[0])
                if step.get("error_handler") != "CUSTOM_VALUE":
                    raise  # as Zabbix 6.0: a wildcard path that matches nothing fails too
                value = step["error_handler_params"]
        elif step["type"] == "MATCHES_REGEX" and discard:
            if not re.search(params[0], value):
                raise Discarded(value)
        elif step["type"] == "BOOL_TO_DECIMAL":
            if value not in ("true", "false"):
                raise ValueError("not a boolean: %r" % value)
            value = "1" if value == "true" else "0"
        else:
            raise ValueError("step not evaluated here: " + step["type"])
    return value


def check_type(item, value):
    if item["value_type"] == "UNSIGNED" and not re.fullmatch(r"\d+", value):
        raise ValueError("%s: %r is not an unsigned number" % (item["key"], value))
    if item["value_type"] == "FLOAT":
        float(value)


def all_items(template):
    for item in template.get("items", []):
        yield item
    for rule in template.get("discovery_rules", []):
        yield rule
        yield from rule.get("item_prototypes", [])


def all_triggers(template):
    for item in all_items(template):
        yield from item.get("triggers", [])
        yield from item.get("trigger_prototypes", [])


class ZabbixTemplateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(TEMPLATE, encoding="utf-8") as f:
            cls.export = yaml.safe_load(f)["zabbix_export"]
        cls.templates = {t["template"]: t for t in cls.export["templates"]}

    def test_every_path_finds_a_value_in_the_demo_state(self):
        with MonitorRun(copy_demo=True, config={"source": demo_sources()}) as run:
            status, _, body = fetch_when(run, "/state.json", lambda b: b'"changes":' in b)
        self.assertEqual(status, 200)
        state = body.decode("utf-8")
        template = self.templates["Korvane Monitor by HTTP"]
        checked = 0
        for item in template["items"]:
            if item["type"] == "DEPENDENT":
                with self.subTest(item=item["key"]):
                    check_type(item, preprocess(item["preprocessing"], state))
                    checked += 1
        for rule in template["discovery_rules"]:
            with self.subTest(rule=rule["key"]):
                rows = json.loads(preprocess(rule["preprocessing"], state))
                self.assertTrue(rows and all(isinstance(r, dict) for r in rows), rule["key"])
                found = {}
                for row in rows:
                    macros = {m["lld_macro"]: jsonpath(row, m["path"]) for m in rule["lld_macro_paths"]}
                    for proto in rule["item_prototypes"]:
                        try:
                            check_type(proto, preprocess(proto["preprocessing"], state, macros))
                            found[proto["key"]] = found.get(proto["key"], 0) + 1
                        except Discarded:
                            pass  # a reading this row lacks: Zabbix keeps no value, raises no error
                # Every prototype reads something from some row of the demo.
                self.assertEqual(set(found), {p["key"] for p in rule["item_prototypes"]})
                checked += sum(found.values())
        self.assertGreater(checked, 50)
        # A controller without devices or drives: their rules find no rows rather than fail.
        bare = json.loads(state)
        for c in bare["controllers"]:
            c.update(logical_devices=[], zepcache_devices=[], drives=[])
        for rule in template["discovery_rules"]:
            rows = json.loads(preprocess(rule["preprocessing"], json.dumps(bare)))
            self.assertEqual(rows == [], rule["key"] != "korvane.controllers.discovery", rule["key"])

    def test_structure(self):
        uuids = [o["uuid"] for o in self.walk(self.export) if "uuid" in o]
        # Only what the evaluator above can check: no JavaScript.
        self.assertNotIn("JAVASCRIPT", {o.get("type") for o in self.walk(self.export)})
        self.assertEqual(len(uuids), len(set(uuids)))
        for u in uuids:
            self.assertRegex(u, r"^[0-9a-f]{12}4[0-9a-f]{3}[89ab][0-9a-f]{15}$")  # UUIDv4, as the import wants
        group_names = {g["name"] for g in self.export["groups"]}
        for name, template in self.templates.items():
            self.assertLessEqual({g["name"] for g in template["groups"]}, group_names)
            keys = {i["key"] for i in all_items(template)}
            maps = {v["name"] for v in template.get("valuemaps", [])}
            triggers = {(t["name"], t["expression"]) for t in all_triggers(template)}
            for item in all_items(template):
                if "master_item" in item:
                    self.assertIn(item["master_item"]["key"], keys)
                if "valuemap" in item:
                    self.assertIn(item["valuemap"]["name"], maps)
            for trigger in all_triggers(template):
                refs = re.findall(r"\(/([^/]+)/([\w.]+(?:\[[^\]]*\])?)", trigger["expression"])
                self.assertTrue(refs, trigger["expression"])
                for host, key in refs:
                    self.assertEqual(host, name)
                    self.assertIn(key, keys, trigger["name"])
                for d in trigger.get("dependencies", []):
                    self.assertIn((d["name"], d["expression"]), triggers)

    def test_event_log_items_cover_the_event_ids_by_severity(self):
        by_severity = {}
        for item in self.templates["Korvane Monitor Windows event log"]["items"]:
            m = re.fullmatch(r"eventlog\[Application,,(\w+),KorvaneMonitorHTTPServer,\^\(([\d|]+)\)\$,,skip\]",
                             item["key"])
            self.assertTrue(m, item["key"])
            self.assertEqual((item["type"], item["value_type"]), ("ZABBIX_ACTIVE", "LOG"))
            by_severity[m.group(1)] = {int(i) for i in m.group(2).split("|")}
        with open(os.path.join(SOURCE_DIR, "README.md"), encoding="utf-8") as f:
            readme = f.read()
        table = readme.split("| Ids | Changes |", 1)[1].split("\n\n", 1)[0]
        ids = {int(i) for row in table.strip().splitlines() for i in re.findall(r"\b\d+\b", row.split("|")[1])}
        ids |= {int(i) for i in re.findall(r"\b(?:event )?id (\d+)\)?", readme)} - {1}
        self.assertEqual(set().union(*by_severity.values()), ids)
        # Each change's record type (Error / Warning / Information) is its severity.
        words = {"Critical": "Error", "Warning": "Warning", "Information": "Information"}
        with open(os.path.join(SOURCE_DIR, "src", "health", "changes.h"), encoding="utf-8") as f:
            for m in re.finditer(r"= (\d+),\s*//(.*)", f.read()):
                for word in re.findall(r"Critical|Warning|Information", m.group(2)):
                    self.assertIn(int(m.group(1)), by_severity[words[word]], m.group(0))

    @staticmethod
    def walk(node):
        if isinstance(node, dict):
            yield node
            for v in node.values():
                yield from ZabbixTemplateTest.walk(v)
        elif isinstance(node, list):
            for v in node:
                yield from ZabbixTemplateTest.walk(v)


if __name__ == "__main__":
    unittest.main()
