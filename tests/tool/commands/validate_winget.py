#!/usr/bin/env python3
"""Validates the winget manifest saverkit pack wrote against winget's
published schemas (1.10.0), checks InstallerSha256 against the image, and
prints the installer's exit codes as the manifest maps them, as JSON:
{"success": [6], "expected": {"1": "diskFull", ...}}.

usage: validate_winget.py SCHEMA_DIR MANIFEST_DIR PACKAGE_ID IMAGE
Exits 1 with a reason on standard error when anything does not hold.
"""
import copy
import hashlib
import json
import os
import sys

import jsonschema
import yaml


def fail(reason):
    sys.stderr.write(reason + "\n")
    sys.exit(1)


def main():
    schemas, folder, package_id, image = sys.argv[1:5]
    files = {
        "version": package_id + ".yaml",
        "defaultLocale": package_id + ".locale.en-US.yaml",
        "installer": package_id + ".installer.yaml",
    }
    if sorted(os.listdir(folder)) != sorted(files.values()):
        fail("the folder holds %s" % sorted(os.listdir(folder)))
    manifests = {}
    for kind, name in files.items():
        with open(os.path.join(schemas, "manifest.%s.1.10.0.json" % kind), encoding="utf-8") as f:
            schema = json.load(f)
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            manifest = yaml.safe_load(f)
        try:
            jsonschema.validate(manifest, schema)
        except jsonschema.ValidationError as error:
            fail("%s: %s" % (name, error.message))
        if manifest["ManifestType"] != kind:
            fail("%s: ManifestType %s" % (name, manifest["ManifestType"]))
        manifests[kind] = (manifest, schema)

    # The validator itself must refuse what winget refuses: 0 listed as an
    # expected code.
    installer, schema = manifests["installer"]
    broken = copy.deepcopy(installer)
    broken["ExpectedReturnCodes"].append({"InstallerReturnCode": 0, "ReturnResponse": "custom"})
    try:
        jsonschema.validate(broken, schema)
        fail("the schema accepted exit code 0 among ExpectedReturnCodes")
    except jsonschema.ValidationError:
        pass

    with open(image, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    if installer["Installers"][0]["InstallerSha256"].lower() != digest:
        fail("InstallerSha256 %s is not the image's %s" % (installer["Installers"][0]["InstallerSha256"], digest))
    for kind in files:
        if manifests[kind][0]["PackageIdentifier"] != package_id:
            fail("%s: another PackageIdentifier" % kind)

    json.dump({"success": installer.get("InstallerSuccessCodes") or [],
               "expected": {str(e["InstallerReturnCode"]): e["ReturnResponse"]
                            for e in installer.get("ExpectedReturnCodes") or []},
               "locale": manifests["defaultLocale"][0],
               "installer": {k: v for k, v in installer.items() if k != "Installers"}},
              sys.stdout, default=str)


main()
