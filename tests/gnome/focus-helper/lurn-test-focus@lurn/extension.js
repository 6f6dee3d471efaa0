// For the tests only, never installed: lurn-test-focus-45@lurn in the form
// GNOME Shell 43 and 44 load; see there.
/* exported init */

const { Gio } = imports.gi;
const Main = imports.ui.main;

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
        window.activate(global.display.get_current_time_roundtrip());
        Main.overview.hide();
        return true;
    }
}

class LurnTestFocusExtension {
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

function init() {
    return new LurnTestFocusExtension();
}
