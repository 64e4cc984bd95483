#!/usr/bin/env python3
"""The layering checker run on small made-up source trees: each rule must
report what breaks it and nothing else."""
import importlib.machinery
import importlib.util
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
_loader = importlib.machinery.SourceFileLoader("check_layering", os.path.join(HERE, "check-layering"))
_spec = importlib.util.spec_from_loader("check_layering", _loader)
layering = importlib.util.module_from_spec(_spec)
_loader.exec_module(layering)


def make_tree(root, files):
    for path, includes in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as out:
            out.write("".join(f'#include "{name}"\n' for name in includes))


def faults_of(files):
    with tempfile.TemporaryDirectory() as root:
        make_tree(root, files)
        return (layering.check(root) + layering.main_window_includes(root)
                + layering.circle_faults(root))


W = "ui/windows/"

CASES = [
    # (what, tree, expected fault fragments; empty means clean)
    ("a chain without circle",
     {W + "A.h": ["B.h"], W + "A.cpp": ["A.h", "C.h"], W + "B.h": [], W + "C.h": ["B.h"]}, []),
    ("two pairs through a source",
     {W + "A.h": ["B.h"], W + "B.h": [], W + "B.cpp": ["B.h", "A.h"]}, ["include circle A -> B -> A"]),
    ("three pairs",
     {W + "A.h": ["B.h"], W + "B.h": ["C.h"], W + "C.cpp": ["A.h"], W + "C.h": []},
     ["include circle A -> B -> C -> A"]),
    ("a circle outside the windows folder is not this rule's",
     {"ui/engine/A.h": ["B.h"], "ui/engine/B.h": ["A.h"]}, []),
    ("a window including the main window",
     {W + "MainWindow.h": [], W + "MainWindow.cpp": ["MainWindow.h"], W + "Dlg.cpp": ["MainWindow.h"],
      "app/App.cpp": ["MainWindow.h"]},
     ["ui/windows/Dlg.cpp: MainWindow.h"]),
    ("core reaching up",
     {"core/Log.cpp": ["Win.h"], "ui/Win.h": []}, ["core/Log.cpp: Win.h"]),
]


class LayeringRules(unittest.TestCase):
    def test_each_rule_reports_only_its_faults(self):
        for what, tree, expected in CASES:
            with self.subTest(what):
                faults = faults_of(tree)
                self.assertEqual(len(faults), len(expected), faults)
                for fragment, fault in zip(expected, faults):
                    self.assertIn(fragment, fault)


if __name__ == "__main__":
    sys.exit(unittest.main())
