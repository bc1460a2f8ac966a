#!/usr/bin/env python3
"""usage: check-policy-templates.py SOURCE_DIR

A $(string.X) or $(presentation.X) that a language file lacks makes the editor refuse the
templates; a key, value name or range other than app/CadencePolicy.cpp's sets what the program
never reads, or ignores as out of range."""
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
source = Path(sys.argv[1])
code = (source / "app/CadencePolicy.cpp").read_text()
key = re.search(r'^constexpr wchar_t kPolicyKey\[\] = L"(.+)";$', code, re.M).group(1).replace("\\\\", "\\")
values = re.findall(r'^constexpr PolicyValue k\w+ = \{L"(\w+)", (\d+), (\d+), k(\w+)\};$', code, re.M)
read = {name: (int(low), int(high)) for name, low, high, _ in values}  # name -> (min, max) in seconds
faults = [] if len(read) == 2 else [f"app/CadencePolicy.cpp: {len(read)} policy values found, 2 expected"]

admx_text = (source / "packaging/policy/Voltwren.admx").read_text()
admx = ET.fromstring(admx_text)
if admx.find("p:policyNamespaces/p:using", NS) is not None:
    faults.append("the ADMX uses another file's namespace: Intune needs that file imported first")
offered = []
for policy in admx.iterfind("p:policies/p:policy", NS):
    if policy.get("class") != "Machine" or policy.get("key", "").lower() != key.lower():
        faults.append(f"{policy.get('name')}: {policy.get('class')} {policy.get('key')}, the program reads HKLM {key}")
    for decimal in policy.iterfind("p:elements/p:decimal", NS):
        offered.append(decimal.get("valueName"))
        low, high = read.get(decimal.get("valueName"), (None, None))
        offers = (int(decimal.get("minValue", 0)), int(decimal.get("maxValue", 9999)), decimal.get("storeAsText"))
        if offers not in ((low, high, None), (low, high, "false")):
            faults.append(f"{decimal.get('valueName')}: the ADMX offers other than the REG_DWORD {low} to {high} read")
if sorted(offered) != sorted(read):
    faults.append(f"the ADMX offers {sorted(offered)}, the program reads {sorted(read)}")

for language in ("en-US", "zh-TW"):
    adml = ET.parse(source / f"packaging/policy/{language}/Voltwren.adml").getroot()
    tables = {kind: {e.get("id") for e in adml.iterfind(f".//p:{kind}Table/p:{kind}", NS)}
              for kind in ("string", "presentation")}
    references = sorted(set(re.findall(r"\$\((string|presentation)\.(\w+)\)", admx_text)))
    faults += [f"{language}: $({kind}.{name}) does not resolve" for kind, name in references if name not in tables[kind]]

for fault in faults:
    print(f"check-policy-templates: {fault}", file=sys.stderr)
sys.exit(1 if faults else 0)
