"""What a screen reader hears of Kestrix's windows, read through AT-SPI as
Orca reads it: the main window, then the conversion window its first button
opens. Fails on a control without a name, on a Chinese name in English
(but the language menu's own name for Chinese), and on a progress bar
that does not tell its value.

Usage: screen_reader.py LANGUAGE   (en or zh_CN; Kestrix already running)
"""
import sys
import time

import pyatspi

language = sys.argv[1]
CONTROLS = {'push button', 'list', 'text', 'progress bar', 'menu item', 'combo box'}


def han(text):
    return any(0x2E80 <= ord(c) <= 0x9FFF or 0xFF00 <= ord(c) <= 0xFFEF for c in text)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(60):
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == 'Kestrix':
                return app
        time.sleep(0.5)
    sys.exit('FAIL: Kestrix never reached the accessibility bus')


def nodes(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from nodes(child)


def check(app, faults):
    told = []
    for node in nodes(app):
        role, name = node.getRoleName(), node.name
        if role not in CONTROLS:
            continue
        # A drop-down list's own list is named by the drop-down.
        if role == 'list' and node.parent is not None and node.parent.getRoleName() == 'combo box':
            continue
        told.append(f'{role}: {name}')
        if not name:
            faults.append(f'a {role} without a name')
        if language == 'en' and han(name) and name != '简体中文':
            faults.append(f'a Chinese name in English: {role} {name}')
        if role == 'progress bar':
            value = node.queryValue()
            if (value.minimumValue, value.maximumValue) != (0, 100):
                faults.append(f'the progress bar tells {value.minimumValue}..{value.maximumValue}')
    return told


def press(app, caption):
    for node in nodes(app):
        if node.getRoleName() == 'push button' and node.name == caption:
            node.queryAction().doAction(0)
            return True
    return False


app = application()
faults = []
told = check(app, faults)
if not press(app, 'SMD to BIN'):
    faults.append('no button "SMD to BIN"')
time.sleep(2)
told += check(app, faults)
print('\n'.join(told))
expected = {'en': ['push button: Add files', 'progress bar: Progress', 'menu item: Language'],
            'zh_CN': ['push button: 添加文件', 'progress bar: 进度', 'menu item: 语言(Language)']}
for name in expected[language]:
    if name not in told:
        faults.append(f'not heard: {name}')
for fault in faults:
    print('FAIL:', fault)
sys.exit(1 if faults else 0)
