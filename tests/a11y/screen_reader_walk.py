#!/usr/bin/python3
"""What a screen reader finds in the real lurn, through the AT-SPI bus.

    screen_reader_walk.py LURN_EXECUTABLE

Starts lurn in Spanish, English and Catalan (chosen the three ways an operator
can: a C locale, the desktop's LANGUAGE, and Idioma in Lurn.conf over another
desktop language), finds every control of the main window by its role and its
name in that language, then drives one countdown by keyboard alone (keys
through XTest, by xdotool): the fields, the password, Alt+Start, the lock
coming up and announcing itself, the password typed into it, Alt+Stop; then
once more with a warning lead, the notice coming up above the lock as an
alert, announcing itself, closed with Enter.
Every lurn it starts is stopped by its process id.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

LURN = sys.argv[1]

ENTRY = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT}

# The controls of the main window: (roles, name), in each language.
def controls(t):
    return [
        ({pyatspi.ROLE_LIST}, t['list']),
        (ENTRY, t['new']),
        ({pyatspi.ROLE_PUSH_BUTTON}, t['add']),
        ({pyatspi.ROLE_PUSH_BUTTON}, t['remove']),
        (ENTRY, t['hours']),
        (ENTRY, t['minutes']),
        (ENTRY, t['seconds']),
        ({pyatspi.ROLE_PUSH_BUTTON}, t['start']),
        ({pyatspi.ROLE_PUSH_BUTTON}, t['stop']),
        (ENTRY, t['warn']),
        ({pyatspi.ROLE_CHECK_BOX}, t['show']),
        ({pyatspi.ROLE_RADIO_BUTTON}, t['rate1']),
        (ENTRY, t['amount1']),
        (ENTRY, t['amount2']),
        ({pyatspi.ROLE_RADIO_BUTTON}, t['rate2']),
        (ENTRY, t['password']),
        (ENTRY, t['repeat']),
        ({pyatspi.ROLE_PUSH_BUTTON}, t['records']),
    ]

LANGUAGES = {
    'es': dict(list='Programas a terminar', new='Programa que añadir a la lista', add='Añadir',
               remove='Eliminar', hours='Horas', minutes='Minutos', seconds='Segundos',
               start='Iniciar', stop='Parar', warn='Minutos de aviso antes del final',
               show='Ver tiempo que queda', rate1='Tarifa 1', rate2='Tarifa 2',
               amount1='Importe de la tarifa 1 (pts/hora)',
               amount2='Importe de la tarifa 2 (pts/hora)', password='Clave',
               repeat='Repetir clave', records='Registro de sesiones', lock='Clave',
               lock_entry='Clave de acceso', notice='Aviso', start_key='alt+i',
               stop_key='alt+p'),
    'en': dict(list='Programs to end', new='Program to add to the list', add='Add',
               remove='Remove', hours='Hours', minutes='Minutes', seconds='Seconds',
               start='Start', stop='Stop', warn='Minutes of warning before the end',
               show='Show time left', rate1='Rate 1', rate2='Rate 2',
               amount1='Amount of rate 1 (pts/hour)', amount2='Amount of rate 2 (pts/hour)',
               password='Password', repeat='Repeat password', records='Session records',
               lock='Locked', lock_entry='Password', notice='Notice', start_key='alt+s',
               stop_key='alt+p'),
    'ca': dict(list='Programes a tancar', new='Programa que cal afegir a la llista',
               add='Afegeix', remove='Elimina', hours='Hores', minutes='Minuts',
               seconds='Segons', start='Inicia', stop='Atura',
               warn="Minuts d'avís abans del final", show='Mostra el temps que queda',
               rate1='Tarifa 1', rate2='Tarifa 2', amount1='Import de la tarifa 1 (pts/hora)',
               amount2='Import de la tarifa 2 (pts/hora)', password='Clau',
               repeat='Repeteix la clau', records='Registre de sessions', lock='Clau',
               lock_entry="Clau d'accés", notice='Avís', start_key='alt+i',
               stop_key='alt+a'),
}

# How each language is chosen: the environment and Lurn.conf's Idioma.
CHOICES = [
    ('es', {'LANG': 'C', 'LC_ALL': '', 'LANGUAGE': ''}, None),
    ('en', {'LANG': 'en_GB.UTF-8', 'LC_ALL': '', 'LANGUAGE': 'en'}, None),
    ('ca', {'LANG': 'en_US.UTF-8', 'LC_ALL': '', 'LANGUAGE': ''}, 'ca'),
]

failures = []
announced = []


def fail(text):
    failures.append(text)
    print('FAIL: ' + text, file=sys.stderr)


def pump():
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_for(what, predicate, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        pump()
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise TimeoutError(what)


def on_event(event):
    try:
        announced.append((event.type, event.source.getRole(), event.source.name))
    except Exception:  # the source may be gone already
        pass


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def walk(node, depth=0):
    if node is None or depth > 30:
        return
    yield node
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def find(root, roles, name):
    for node in walk(root):
        try:
            if node.getRole() in roles and node.name == name and showing(node):
                return node
        except Exception:
            continue
    return None


def window(app, roles, name):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.getRole() in roles and w.name == name and showing(w):
            return w
    return None


def focused(root):
    for node in walk(root):
        try:
            if node.getState().contains(pyatspi.STATE_FOCUSED):
                return node
        except Exception:
            continue
    return None


def activate(pid):
    shown = subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(pid), '--name',
                            '^Lurn$'], capture_output=True, text=True).stdout.split()
    for window_id in shown:
        subprocess.run(['xdotool', 'windowactivate', '--sync', window_id], check=False,
                       stderr=subprocess.DEVNULL)


def key(*keys):
    subprocess.run(['xdotool', 'key', '--clearmodifiers', *keys], check=True)


def type_text(text):
    subprocess.run(['xdotool', 'type', '--delay', '20', text], check=True)


def tab_to(root, name, most=30):
    for _ in range(most):
        node = wait_for('the focus', lambda: focused(root), 5)
        if node.name == name:
            return node
        key('Tab')
        time.sleep(0.05)
    raise TimeoutError('Tab never reached ' + name)


def run(language, env_changes, idioma):
    t = LANGUAGES[language]
    home = tempfile.mkdtemp(prefix='lurn-a11y-')
    runtime = tempfile.mkdtemp(prefix='lurn-a11y-run-')
    if idioma:
        with open(os.path.join(home, 'Lurn.conf'), 'w') as conf:
            conf.write('[Lurn]\nIdioma=%s\n' % idioma)
    env = dict(os.environ)
    env.update({k: v for k, v in env_changes.items() if v})
    for k, v in env_changes.items():
        if not v:
            env.pop(k, None)
    env.update({'XDG_CONFIG_HOME': home, 'XDG_DATA_HOME': home, 'XDG_RUNTIME_DIR': runtime,
                'QT_LINUX_ACCESSIBILITY_ALWAYS_ON': '1', 'QT_ACCESSIBILITY': '1',
                'QT_QPA_PLATFORM': 'xcb'})
    lurn = subprocess.Popen([LURN], env=env)
    try:
        app = wait_for('lurn on the accessibility bus', lambda: application(lurn.pid))
        main = wait_for('the main window', lambda: window(app, {pyatspi.ROLE_FRAME,
                                                               pyatspi.ROLE_WINDOW}, 'Lurn'))
        for roles, name in controls(t):
            if find(main, roles, name) is None:
                fail('%s: no %s named %r' % (language, ' or '.join(
                    sorted(str(r) for r in roles)), name))

        # One countdown by keyboard alone.
        # Openbox leaves a new window of Lurn's unfocused (its task-bar owner
        # comes first): the operator brings it to the front as with Alt+Tab.
        activate(lurn.pid)
        wait_for('the focus in the main window', lambda: focused(main))
        tab_to(main, t['hours'])
        key('ctrl+a')
        type_text('0')
        key('Tab')
        wait_for('the minutes', lambda: (focused(main) or main).name == t['minutes'], 5)
        key('ctrl+a')
        type_text('5')
        tab_to(main, t['password'])
        type_text('clave-1')
        key('Tab')
        wait_for('the repeated password',
                 lambda: (focused(main) or main).name == t['repeat'], 5)
        type_text('clave-1')
        key(t['start_key'])

        lock = wait_for('the lock', lambda: window(app, {pyatspi.ROLE_DIALOG}, t['lock']))
        entry = wait_for('the lock focused on its entry', lambda: focused(lock))
        if entry.name != t['lock_entry']:
            fail('%s: the lock has %r focused, not %r' % (language, entry.name, t['lock_entry']))
        try:
            wait_for('the lock announced', lambda: any(
                role == pyatspi.ROLE_DIALOG and name == t['lock'] for _, role, name in announced),
                5)
        except TimeoutError:
            fail('%s: the lock came up without an event naming it' % language)
        type_text('clave-1')
        key('Return')
        wait_for('the lock gone', lambda: window(app, {pyatspi.ROLE_DIALOG}, t['lock']) is None)

        stop = wait_for('Stop enabled', lambda: (lambda b: b if b and b.getState().contains(
            pyatspi.STATE_SENSITIVE) else None)(find(main, {pyatspi.ROLE_PUSH_BUTTON}, t['stop'])))
        wait_for('the focus back in the main window', lambda: focused(main))
        key(t['stop_key'])
        wait_for('Start enabled again', lambda: find(main, {pyatspi.ROLE_PUSH_BUTTON},
                                                     t['start']).getState().contains(
                                                         pyatspi.STATE_SENSITIVE))
        if stop.getState().contains(pyatspi.STATE_SENSITIVE):
            fail('%s: Stop is still enabled after Alt+Stop' % language)

        # Again with a warning lead as long as the countdown: the notice comes
        # at the first second, above the lock, and is closed with Enter.
        tab_to(main, t['warn'])
        key('ctrl+a')
        type_text('5')
        key('Tab')
        key(t['start_key'])
        wait_for('the notice', lambda: window(app, {pyatspi.ROLE_ALERT}, t['notice']))
        try:
            wait_for('the notice announced', lambda: any(
                role == pyatspi.ROLE_ALERT and name == t['notice'] for _, role, name in announced),
                5)
        except TimeoutError:
            fail('%s: the notice came up without an event naming it' % language)
        key('Return')
        wait_for('the notice gone',
                 lambda: window(app, {pyatspi.ROLE_ALERT}, t['notice']) is None)
        print('%s: every control found; a countdown started, locked, opened and stopped, and '
              'the notice shown and closed, by keyboard' % language)
    except TimeoutError as e:
        fail('%s: timed out waiting for %s' % (language, e))
        # What the screen reader saw instead.
        for node in walk(application(lurn.pid)):
            if node.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_FRAME,
                                  pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT):
                states = [pyatspi.stateToString(x) for x in node.getState().getStates()]
                print('  %s %r %s' % (node.getRoleName(), node.name, ' '.join(states)),
                      file=sys.stderr)
    finally:
        lurn.terminate()
        try:
            lurn.wait(10)
        except subprocess.TimeoutExpired:
            lurn.kill()
            lurn.wait()
        subprocess.run(['rm', '-rf', home, runtime])


pyatspi.Registry.registerEventListener(on_event, 'window:activate')
for language, env_changes, idioma in CHOICES:
    announced.clear()
    run(language, env_changes, idioma)
pyatspi.Registry.deregisterEventListener(on_event, 'window:activate')
sys.exit(1 if failures else 0)
