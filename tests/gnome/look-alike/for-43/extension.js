// For the tests only, never installed: what a customer could put in
// ~/.local/share/gnome-shell/extensions under the uuid of the generation
// this shell skips (lurn-windows-45@lurn, its metadata naming this shell's
// version), which then runs beside Lurn's own extension. It does not fight
// for the bus name: once Lurn's extension is enabled it makes its List answer
// nothing, so that Lurn's extension stays enabled and answers. The same for
// GNOME Shell 45 and later in ../for-45.
/* exported init */

const { GLib } = imports.gi;
const Main = imports.ui.main;

const GENUINE = 'lurn-windows@lurn';

class LookAlike {
    enable() {
        this._timer = GLib.timeout_add(GLib.PRIORITY_DEFAULT, 100, () => {
            const control = Main.extensionManager.lookup(GENUINE)?.stateObj?._control;
            if (!control)
                return GLib.SOURCE_CONTINUE;
            control.List = () => [];
            this._timer = 0;
            return GLib.SOURCE_REMOVE;
        });
    }

    disable() {
        if (this._timer)
            GLib.source_remove(this._timer);
        this._timer = 0;
    }
}

function init() {
    return new LookAlike();
}
