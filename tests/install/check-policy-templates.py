#!/usr/bin/env python3
"""usage: check-policy-templates.py SOURCE_DIR POLLING_FIGURES_ENV

A $(string.X) or $(presentation.X) that a language file lacks makes the editor refuse the
templates; a key, value name or range other than app/CadencePolicy.cpp's sets what the program
never reads, or ignores as out of range."""
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
source, figures = Path(sys.argv[1]), dict(re.findall(r"^(\w+)=(\d+)$", Path(sys.argv[2]).read_text(), re.M))
code = (source / "app/CadencePolicy.cpp").read_text()
key = re.search(r'^constexpr wchar_t kPolicyKey\[\] = L"(.+)";$', code, re.M).group(1).replace("\\\\", "\\")
values = re.findall(r'^constexpr PolicyValue k\w+ = \{L"(\w+)", (\d+), (\d+), k(\w+)\};$', code, re.M)
# name -> (min, max, default) in seconds; the default's constant kSettleAfterMs is SETTLE_AFTER_MS there
read = {name: (int(low), int(high), int(figures[re.sub(r"(?<=[a-z])([A-Z])", r"_\1", ms).upper()]) // 1000)
        for name, low, high, ms in values}
ref = lambda text: re.sub(r"^\$\(\w+\.(\w+)\)$", r"\1", text or "")  # $(string.X) -> X
faults = [] if len(read) == 2 else [f"app/CadencePolicy.cpp: {len(read)} policy values found, 2 expected"]

admx_text = (source / "packaging/policy/Voltwren.admx").read_text()
admx = ET.fromstring(admx_text)
if admx.find("p:policyNamespaces/p:using", NS) is not None:
    faults.append("the ADMX uses another file's namespace: Intune needs that file imported first")
offered = {}  # value name -> (policy, decimal element)
for policy in admx.iterfind("p:policies/p:policy", NS):
    if policy.get("class") != "Machine" or policy.get("key", "").lower() != key.lower():
        faults.append(f"{policy.get('name')}: {policy.get('class')} {policy.get('key')}, the program reads HKLM {key}")
    for decimal in policy.iterfind("p:elements/p:decimal", NS):
        offered[decimal.get("valueName")] = (policy, decimal)
        low, high, _ = read.get(decimal.get("valueName"), (None, None, None))
        offers = (int(decimal.get("minValue", 0)), int(decimal.get("maxValue", 9999)), decimal.get("storeAsText"))
        if offers not in ((low, high, None), (low, high, "false")):
            faults.append(f"{decimal.get('valueName')}: the ADMX offers other than the REG_DWORD {low} to {high} read")
if sorted(offered) != sorted(read):
    faults.append(f"the ADMX offers {sorted(offered)}, the program reads {sorted(read)}")

for language in ("en-US", "zh-TW"):
    adml = ET.parse(source / f"packaging/policy/{language}/Voltwren.adml").getroot()
    tables = {"string": {e.get("id"): e.text or "" for e in adml.iterfind(".//p:stringTable/p:string", NS)},
              "presentation": {e.get("id"): e for e in adml.iterfind(".//p:presentationTable/p:presentation", NS)}}
    references = sorted(set(re.findall(r"\$\((string|presentation)\.(\w+)\)", admx_text)))
    faults += [f"{language}: $({kind}.{name}) does not resolve" for kind, name in references if name not in tables[kind]]
    for value, (policy, decimal) in offered.items():
        _, _, default = read.get(value, (None, None, None))
        page = tables["presentation"].get(ref(policy.get("presentation")))
        box = page.find(f"p:decimalTextBox[@refId='{decimal.get('id')}']", NS) if page is not None else None
        if box is None or box.get("defaultValue") != str(default):
            faults.append(f"{language}: no box for {value} that shows its default, {default}")
        explain = tables["string"].get(ref(policy.get("explainText")), "")
        faults += [f"{language}: the explain text of {value} does not name {figure}"
                   for figure in read.get(value, ()) if not re.search(rf"(?<!\d){figure}(?!\d)", explain)]

for fault in faults:
    print(f"check-policy-templates: {fault}", file=sys.stderr)
sys.exit(1 if faults else 0)
