// The page's window and document, built over the browser's native functions. Evaluated once
// per page before its scripts, as a function of (N, info): N the native functions, info the
// page's forms, fields, canvases and body onload text.
(function (N, info) {
    var global = (0, eval)('this');

    function Event(type, props) {
        this.type = type;
        this.defaultPrevented = false;
        this.cancelBubble = false;
        this.timeStamp = Date.now();
        for (var k in props)
            this[k] = props[k];
    }
    Event.prototype.preventDefault = function () { this.defaultPrevented = true; };
    Event.prototype.stopPropagation = function () { this.cancelBubble = true; };
    Event.prototype.stopImmediatePropagation = function () {
        this.cancelBubble = true;
        this.__stopNow = true;
    };

    // Listeners by type, and the on<type> property, called in that order.
    function makeTarget(target) {
        var listeners = {};
        target.addEventListener = function (type, listener) {
            if (typeof listener !== 'function')
                return;
            var list = listeners[type] || (listeners[type] = []);
            if (list.indexOf(listener) < 0)
                list.push(listener);
        };
        target.removeEventListener = function (type, listener) {
            var list = listeners[type];
            var i = list ? list.indexOf(listener) : -1;
            if (i >= 0)
                list.splice(i, 1);
        };
        target.__fire = function (event) {
            event.currentTarget = target;
            var handler = target['on' + event.type];
            if (typeof handler === 'function' && handler.call(target, event) === false)
                event.preventDefault();
            var list = (listeners[event.type] || []).slice();
            for (var i = 0; i < list.length && !event.__stopNow; i++)
                list[i].call(target, event);
        };
        target.dispatchEvent = function (event) {
            target.__fire(event);
            return !event.defaultPrevented;
        };
        return target;
    }

    var all = [];
    function Element(tag, id, name) {
        this.tagName = tag.toUpperCase();
        this.nodeName = this.tagName;
        this.id = id || '';
        if (name !== undefined)
            this.name = name;
        this.style = {};
        this.childNodes = [];
        makeTarget(this);
    }
    Element.prototype.getAttribute = function (n) {
        return this[n] === undefined ? null : String(this[n]);
    };
    Element.prototype.setAttribute = function (n, v) { this[n] = String(v); };
    Element.prototype.appendChild = function (child) {
        this.childNodes.push(child);
        child.parentNode = this;
        return child;
    };
    Element.prototype.getBoundingClientRect = function () {
        return {left: 0, top: 0, right: N.viewWidth(), bottom: N.viewHeight(),
                width: N.viewWidth(), height: N.viewHeight(), x: 0, y: 0};
    };

    var document = makeTarget({});
    var body = new Element('body');
    document.body = body;
    document.documentElement = new Element('html');
    document.readyState = 'loading';
    document.title = info.title;
    document.forms = [];

    info.forms.forEach(function (f) {
        var form = new Element('form', f.id, f.name);
        form.elements = [];
        f.fields.forEach(function (d) {
            var field = new Element('input', d.id, d.name);
            field.type = d.type;
            field.form = form;
            Object.defineProperty(field, 'value', {
                get: function () { return N.fieldGet(d.index); },
                set: function (v) { N.fieldSet(d.index, String(v)); },
                enumerable: true
            });
            form.elements.push(field);
            form[form.elements.length - 1] = field;
            if (d.name && form[d.name] === undefined)
                form[d.name] = field;
            all.push(field);
        });
        form.length = form.elements.length;
        form.submit = function () {};
        form.reset = function () {};
        document.forms.push(form);
        if (f.name && document.forms[f.name] === undefined)
            document.forms[f.name] = form;
        if (f.name && document[f.name] === undefined)
            document[f.name] = form;
        all.push(form);
    });

    function makeCanvas(index, id) {
        var canvas = new Element('canvas', id);
        canvas.__ci = index;
        Object.defineProperty(canvas, 'width', {
            get: function () { return N.canvasWidth(index); },
            set: function (v) { N.canvasResize(index, Number(v), N.canvasHeight(index)); }
        });
        Object.defineProperty(canvas, 'height', {
            get: function () { return N.canvasHeight(index); },
            set: function (v) { N.canvasResize(index, N.canvasWidth(index), Number(v)); }
        });
        Object.defineProperty(canvas, 'clientWidth', { get: function () { return N.canvasWidth(index); } });
        Object.defineProperty(canvas, 'clientHeight', { get: function () { return N.canvasHeight(index); } });
        canvas.getContext = function (type) {
            if (type !== '2d')
                return null;
            if (!canvas.__ctx) {
                canvas.__ctx = N.context(index);
                canvas.__ctx.canvas = canvas;
            }
            return canvas.__ctx;
        };
        return canvas;
    }
    var canvases = info.canvases.map(function (c) {
        var canvas = makeCanvas(c.index, c.id);
        body.appendChild(canvas);
        all.push(canvas);
        return canvas;
    });

    document.getElementById = function (id) {
        id = String(id);
        for (var i = 0; i < all.length; i++)
            if (all[i].id === id)
                return all[i];
        return null;
    };
    document.getElementsByTagName = function (tag) {
        tag = String(tag).toUpperCase();
        return all.filter(function (e) { return tag === '*' || e.tagName === tag; });
    };
    document.getElementsByName = function (name) {
        return all.filter(function (e) { return e.name === String(name); });
    };
    document.createElement = function (tag) {
        tag = String(tag).toLowerCase();
        if (tag === 'canvas')
            return makeCanvas(N.newCanvas(300, 150), '');
        return new Element(tag);
    };

    var location = {};
    Object.defineProperty(location, 'href', {
        get: function () { return N.url(); },
        set: function (v) { N.navigate(String(v)); },
        enumerable: true
    });
    location.assign = function (u) { N.navigate(String(u)); };
    location.replace = location.assign;
    location.reload = function () { N.navigate(N.url()); };
    location.toString = function () { return N.url(); };

    makeTarget(global);
    global.window = global;
    global.self = global;
    global.document = document;
    global.location = location;
    global.navigate = function (u) { N.navigate(String(u)); };
    global.alert = function (m) { N.alert(arguments.length ? String(m) : ''); };
    global.setTimeout = N.setTimeout;
    global.setInterval = N.setInterval;
    global.clearTimeout = N.clearTimer;
    global.clearInterval = N.clearTimer;
    global.requestAnimationFrame = function (f) {
        return N.setTimeout(function () { f(Date.now()); }, 16);
    };
    global.cancelAnimationFrame = N.clearTimer;
    global.devicePixelRatio = 1;
    global.Event = Event;
    function log() {
        N.log(Array.prototype.map.call(arguments, String).join(' '));
    }
    global.console = {log: log, info: log, warn: log, error: log, debug: log};
    Object.defineProperty(global, 'innerWidth', { get: function () { return N.viewWidth(); } });
    Object.defineProperty(global, 'innerHeight', { get: function () { return N.viewHeight(); } });
    Object.defineProperty(global, 'external', { get: function () { return N.external(); } });

    function fire(target, event) {
        event.target = target;
        var chain = target === global ? [global] : [target, body, document, global];
        if (target === document)
            chain = [document, global];
        for (var i = 0; i < chain.length && !event.cancelBubble; i++)
            chain[i].__fire(event);
        return !event.defaultPrevented;
    }

    // What the browser calls: input for the page's shown canvas (or its body), and the
    // window's own events.
    return {
        mouse: function (type, x, y, button, buttons, wheel) {
            var props = {clientX: x, clientY: y, offsetX: x, offsetY: y, pageX: x, pageY: y,
                         screenX: x, screenY: y, button: button, buttons: buttons,
                         which: button + 1, detail: type === 'dblclick' ? 2 : 1,
                         ctrlKey: false, shiftKey: false, altKey: false, metaKey: false};
            if (type === 'wheel') {
                props.deltaX = 0;
                props.deltaY = -wheel * 100 / 120;
                props.deltaZ = 0;
                props.deltaMode = 0;
                props.wheelDelta = wheel;
            }
            return fire(canvases.length ? canvases[0] : body, new Event(type, props));
        },
        window: function (type) {
            if (type === 'load') {
                document.readyState = 'complete';
                fire(document, new Event('DOMContentLoaded', {}));
            }
            return fire(global, new Event(type, {}));
        },
        bodyOnload: function () {
            global.onload = new Function('event', info.bodyOnload);
        }
    };
})
