// Lurn's window control for GNOME Shell 45 to 49, in the ES module form those
// shells load (lurn-windows@lurn serves 43 and 44 with the same interface):
// lets the session timer Lurn list this session's
// windows and ask some of them to close when a customer's time is up. GNOME
// on Wayland gives no other program a way to do either.
//
// Session bus name org.lurn.WindowControl, object /org/lurn/WindowControl,
// interface org.lurn.WindowControl:
//   Version() -> u          the interface version; Lurn refuses any other.
//   List() -> a(tsu)        every window the shell manages, on every
//                           workspace, minimised or not, topmost first: its
//                           id (Meta.Window.get_id()), title (UTF-8, empty
//                           when it has none) and process id (0 when
//                           unknown). The shell's own panels and menus are
//                           no windows; override-redirect windows (X11 menus
//                           and tooltips) are left out.
//   Close(at ids) -> at     asks each window to close, in the order given, as
//                           its close box would; returns the ids that were
//                           still there and so were asked. Unknown ids are
//                           left out of the answer, not an error.
//
// Nothing else: no window is moved, raised, killed or read beyond its
// title and process id. The extension stays enabled on the lock screen
// (metadata.json, session-modes), so that a customer's time ending while the
// screen is locked still closes the listed programs.
import Gio from 'gi://Gio';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

const BUS_NAME = 'org.lurn.WindowControl';
const OBJECT_PATH = '/org/lurn/WindowControl';
const INTERFACE_VERSION = 1;

const INTERFACE_XML = `
<node>
  <interface name="org.lurn.WindowControl">
    <method name="Version">
      <arg name="version" type="u" direction="out"/>
    </method>
    <method name="List">
      <arg name="windows" type="a(tsu)" direction="out"/>
    </method>
    <method name="Close">
      <arg name="ids" type="at" direction="in"/>
      <arg name="asked" type="at" direction="out"/>
    </method>
  </interface>
</node>`;

function managedWindows() {
    return global.display.list_all_windows().filter(w => !w.is_override_redirect());
}

class WindowControl {
    constructor() {
        this._lastTime = 0;
    }

    Version() {
        return INTERFACE_VERSION;
    }

    List() {
        // Bottom to top; the caller wants the topmost first.
        const stack = global.display.sort_windows_by_stacking(managedWindows());
        stack.reverse();
        return stack.map(w => [w.get_id(), w.get_title() ?? '', Math.max(0, w.get_pid())]);
    }

    Close(ids) {
        const byId = new Map(managedWindows().map(w => [w.get_id(), w]));
        const asked = [];
        // Mutter pings each window with its request's timestamp as the
        // serial, so no two requests may share one. In a D-Bus handler there
        // is no current event: get_current_time() is 0 here, and mutter then
        // complains of a bad serial. One round trip to the X server for the
        // batch, then a millisecond more for each window.
        let time = this._batchStart();
        for (const id of ids) {
            const window = byId.get(id);
            if (!window)
                continue;
            window.delete(time);
            this._lastTime = time;
            time = (time + 1) >>> 0;
            asked.push(id);
        }
        return asked;
    }

    // After every timestamp given before, unless the 32-bit server time has
    // wrapped round since.
    _batchStart() {
        const now = global.display.get_current_time_roundtrip();
        const after = (this._lastTime + 1) >>> 0;
        return now > this._lastTime || this._lastTime - now > 0x7fffffff ? now : after;
    }
}

export default class LurnWindowsExtension extends Extension {
    enable() {
        this._control = new WindowControl();
        this._exported = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, this._control);
        this._exported.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        Gio.bus_unown_name(this._nameId);
        this._nameId = 0;
        this._exported.unexport();
        this._exported = null;
        this._control = null;
    }
}
