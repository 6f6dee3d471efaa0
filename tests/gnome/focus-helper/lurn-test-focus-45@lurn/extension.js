// For the tests only, never installed: gives a window the focus as the shell
// does when a user picks it (in the overview or with Alt+Tab). In a headless
// shell injected input is not reliable enough for that: GNOME Shell 48 at
// times lets no remote click through for a whole session, and Alt+Tab goes
// by the shell's order of programs, which the tests cannot see.
// lurn-test-focus@lurn is the same for GNOME Shell 43 and 44.
//
// Session bus name org.lurn.TestFocus, object /org/lurn/TestFocus:
//   Activate(s title) -> b   activates the first window with exactly this
//                            title; false when there is none.
import Gio from 'gi://Gio';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

const INTERFACE_XML = `
<node>
  <interface name="org.lurn.TestFocus">
    <method name="Activate">
      <arg name="title" type="s" direction="in"/>
      <arg name="found" type="b" direction="out"/>
    </method>
  </interface>
</node>`;

class TestFocus {
    Activate(title) {
        const window = global.display.list_all_windows().find(w => w.get_title() === title);
        if (!window)
            return false;
        // As Main.activateWindow() does for a window on this workspace;
        // no event is being handled here, so no current time to give.
        window.activate(global.display.get_current_time_roundtrip());
        Main.overview.hide();
        return true;
    }
}

export default class LurnTestFocusExtension extends Extension {
    enable() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, new TestFocus());
        this._exported.export(Gio.DBus.session, '/org/lurn/TestFocus');
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, 'org.lurn.TestFocus',
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        Gio.bus_unown_name(this._nameId);
        this._exported.unexport();
        this._exported = null;
    }
}
