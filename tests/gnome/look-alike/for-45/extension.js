// For the tests only, never installed: what a customer could put in
// ~/.local/share/gnome-shell/extensions under the uuid of the generation
// this shell skips (lurn-windows@lurn, its metadata naming this shell's
// version), which then runs beside Lurn's own extension. It does not fight
// for the bus name: once Lurn's extension is enabled it makes its List answer
// nothing, so that Lurn's extension stays enabled and answers. The same for
// GNOME Shell 43 and 44 in ../for-43.
import GLib from 'gi://GLib';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

const GENUINE = 'lurn-windows-45@lurn';

export default class LookAlike extends Extension {
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
