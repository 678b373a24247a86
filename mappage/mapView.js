// The map of Tessaly's map pages: a Web Mercator view of a latitude/longitude grid with labels
// and a scale bar, the recording's track and the vehicle's position, dragged with the mouse and
// zoomed with the wheel (or a double click). The viewer drives it through the global functions
// at the end; each page starts it with its datum (how WGS84 positions map to the page's map
// coordinates and back).
var MapView = (function () {
    'use strict';

    var MIN_ZOOM = 1, MAX_ZOOM = 20, TILE = 256;
    var EARTH_CIRCUMFERENCE = 40075016.686;  // metres at the equator

    var canvas, ctx, datum;
    var view = {x: 0.5, y: 0.5, zoom: 1};     // centre in world units (0..1), zoom level
    var track = null;                          // {x: Float64Array, y: Float64Array, n, color, width, alpha, box}
    var marker = null;                         // {x, y} in world units
    var layer = null;                          // {x, y, zoom}: the view the track layer was drawn at
    var surface = null;                        // {canvas, ctx}: the track layer, kept for the next track
    var drag = null;
    // A track was fitted while the map had no room (its window collapsed to a pixel, as the
    // viewer keeps it until a position is shown): it is fitted again once the map has its size,
    // unless the view was zoomed in between.
    var fitPending = false;

    function scale() { return TILE * Math.pow(2, view.zoom); }
    function clampLat(lat) { return Math.max(-85.05112878, Math.min(85.05112878, lat)); }
    function worldX(lon) { return (lon + 180) / 360; }
    function worldY(lat) {
        var s = Math.sin(clampLat(lat) * Math.PI / 180);
        return 0.5 - Math.log((1 + s) / (1 - s)) / (4 * Math.PI);
    }
    function lonOf(x) { return x * 360 - 180; }
    function latOf(y) { return (2 * Math.atan(Math.exp(Math.PI * (1 - 2 * y))) - Math.PI / 2) * 180 / Math.PI; }
    function screenX(x) { return (x - view.x) * scale() + canvas.width / 2; }
    function screenY(y) { return (y - view.y) * scale() + canvas.height / 2; }
    function unitX(px) { return view.x + (px - canvas.width / 2) / scale(); }
    function unitY(py) { return view.y + (py - canvas.height / 2) / scale(); }
    function keepInWorld() {
        view.zoom = Math.max(MIN_ZOOM, Math.min(MAX_ZOOM, view.zoom));
        view.x = Math.max(-0.5, Math.min(1.5, view.x));
        view.y = Math.max(0, Math.min(1, view.y));
    }

    // Numbers in the page's argument forms: '%f' texts or numbers; NaN for anything else.
    function number(v) { return typeof v === 'number' ? v : parseFloat(String(v)); }

    // ---- the track: "lon,lat|lon,lat|..." in decimal degrees
    // A long drive has tens of thousands of fixes, so this runs as few script calls a fix as it
    // can: the numbers are read by one JSON.parse, and the projection is written out inline.
    function parseTrack(text) {
        var values = null;
        try {
            values = JSON.parse('[' + text.split('|').join(',') + ']');
        } catch (e) {
            values = null;
        }
        if (!values || values.length % 2 !== 0) {
            // A text the quick path refuses: each point on its own, bad ones left out.
            values = [];
            var parts = text.split('|');
            for (var k = 0; k < parts.length; k++) {
                var pair = parts[k].split(',');
                if (pair.length >= 2)
                    values.push(parseFloat(pair[0]), parseFloat(pair[1]));
            }
        }
        var count = values.length / 2;
        var n = 0, xs = new Float64Array(count), ys = new Float64Array(count);
        var x0 = Infinity, y0 = Infinity, x1 = -Infinity, y1 = -Infinity;
        var identity = datum.identity === true, toMap = datum.toMap;
        // A datum that moves a whole track in one call gets the valid points together.
        var moved = null;
        if (!identity && datum.toMapAll) {
            moved = new Float64Array(values.length);
            var m = 0;
            for (var v = 0; v < values.length; v += 2) {
                var lonV = values[v], latV = values[v + 1];
                if (lonV >= -180 && lonV <= 180 && latV >= -90 && latV <= 90) {
                    moved[m++] = lonV;
                    moved[m++] = latV;
                }
            }
            datum.toMapAll(moved, m);
            values = moved;
            count = m;
        } else {
            count = values.length;
        }
        var sin = Math.sin, log = Math.log, PI = Math.PI, FOUR_PI = 4 * Math.PI;
        var LAT_LIMIT = 85.05112878;
        for (var j = 0; j < count; j += 2) {
            var lon = values[j], lat = values[j + 1];
            if (!moved) {
                // Also false for NaN and the infinities.
                if (!(lon >= -180 && lon <= 180 && lat >= -90 && lat <= 90))
                    continue;
                if (!identity) {
                    var p = toMap(lon, lat);
                    lon = p[0];
                    lat = p[1];
                }
            }
            // worldX and worldY, inline.
            var x = (lon + 180) / 360;
            var clamped = lat > LAT_LIMIT ? LAT_LIMIT : lat < -LAT_LIMIT ? -LAT_LIMIT : lat;
            var sn = sin(clamped * PI / 180);
            var y = 0.5 - log((1 + sn) / (1 - sn)) / FOUR_PI;
            xs[n] = x;
            ys[n] = y;
            n++;
            if (x < x0) x0 = x;
            if (x > x1) x1 = x;
            if (y < y0) y0 = y;
            if (y > y1) y1 = y;
        }
        return {x: xs, y: ys, n: n, box: {x0: x0, y0: y0, x1: x1, y1: y1}};
    }

    // Shows the whole track, not closer than zoom 17.
    function fitTrack() {
        var b = track.box;
        view.x = (b.x0 + b.x1) / 2;
        view.y = (b.y0 + b.y1) / 2;
        var w = Math.max(b.x1 - b.x0, 1e-9), h = Math.max(b.y1 - b.y0, 1e-9);
        var fit = Math.min(canvas.width * 0.8 / w, canvas.height * 0.8 / h) / TILE;
        view.zoom = Math.min(17, Math.floor(Math.log(fit) / Math.LN2));
        keepInWorld();
        fitPending = canvas.width < 2 || canvas.height < 2;
    }

    // The track layer: twice the window's size, centred on the view it was drawn at, reused
    // while dragging. Its canvas is kept from track to track and cleared (a new canvas is
    // clear already), as making one of that size costs more than drawing a long track. Points
    // closer than half a pixel to the last drawn one are skipped.
    function drawLayer() {
        if (!track || track.n === 0) {
            layer = null;
            return;
        }
        var w = canvas.width * 2, h = canvas.height * 2;
        var g;
        if (!surface || surface.canvas.width !== w || surface.canvas.height !== h) {
            var c = document.createElement('canvas');
            c.width = w;
            c.height = h;
            surface = {canvas: c, ctx: c.getContext('2d')};
            g = surface.ctx;
        } else {
            g = surface.ctx;
            g.clearRect(0, 0, w, h);
        }
        var s = scale(), ox = w / 2 - view.x * s, oy = h / 2 - view.y * s;
        g.globalAlpha = track.alpha;
        g.strokeStyle = track.color;
        g.lineWidth = track.width;
        g.lineJoin = 'round';
        g.lineCap = 'round';
        g.beginPath();
        var xs = track.x, ys = track.y, n = track.n;
        var lx = xs[0] * s + ox, ly = ys[0] * s + oy;
        g.moveTo(lx, ly);
        for (var i = 1; i < n; i++) {
            var px = xs[i] * s + ox, py = ys[i] * s + oy;
            var dx = px - lx, dy = py - ly;
            if (dx * dx + dy * dy < 0.25 && i !== n - 1)
                continue;
            g.lineTo(px, py);
            lx = px;
            ly = py;
        }
        if (n === 1)
            g.lineTo(lx + 0.01, ly);
        g.stroke();
        layer = {x: view.x, y: view.y, zoom: view.zoom};
    }

    function layerFits() {
        if (!layer || layer.zoom !== view.zoom)
            return false;
        var s = scale();
        return Math.abs((layer.x - view.x) * s) <= canvas.width / 2 &&
               Math.abs((layer.y - view.y) * s) <= canvas.height / 2;
    }

    // ---- the picture
    var STEPS = [0.0001, 0.0002, 0.0005, 0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5,
                 1, 2, 5, 10, 15, 30, 45, 90];

    function decimals(step) { return Math.max(0, Math.ceil(-Math.log(step) / Math.LN10 - 1e-9)); }
    function lonLabel(lon, d) { return Math.abs(lon).toFixed(d) + '\u00B0' + (lon < 0 ? 'W' : lon > 0 ? 'E' : ''); }
    function latLabel(lat, d) { return Math.abs(lat).toFixed(d) + '\u00B0' + (lat < 0 ? 'S' : lat > 0 ? 'N' : ''); }

    function drawGrid() {
        var w = canvas.width, h = canvas.height;
        var west = lonOf(unitX(0)), east = lonOf(unitX(w));
        var north = latOf(Math.max(0, unitY(0))), south = latOf(Math.min(1, unitY(h)));
        var degreesPerPixel = 360 / scale();
        var step = STEPS[STEPS.length - 1];
        for (var i = 0; i < STEPS.length; i++)
            if (STEPS[i] / degreesPerPixel >= 90) {
                step = STEPS[i];
                break;
            }
        var d = decimals(step);
        ctx.lineWidth = 1;
        ctx.strokeStyle = 'rgba(70, 90, 110, 0.35)';
        ctx.fillStyle = '#46606e';
        ctx.font = '11px sans-serif';
        ctx.beginPath();
        var lon, lat, p;
        for (lon = Math.ceil(Math.max(west, -180) / step) * step; lon <= Math.min(east, 180); lon += step) {
            p = Math.round(screenX(worldX(lon))) + 0.5;
            ctx.moveTo(p, 0);
            ctx.lineTo(p, h);
        }
        for (lat = Math.ceil(south / step) * step; lat <= north; lat += step) {
            p = Math.round(screenY(worldY(lat))) + 0.5;
            ctx.moveTo(0, p);
            ctx.lineTo(w, p);
        }
        ctx.stroke();
        ctx.textBaseline = 'top';
        ctx.textAlign = 'left';
        for (lon = Math.ceil(Math.max(west, -180) / step) * step; lon <= Math.min(east, 180); lon += step)
            ctx.fillText(lonLabel(Math.abs(lon) < step / 2 ? 0 : lon, d), screenX(worldX(lon)) + 3, 3);
        // A latitude label that the scale bar would cover goes right of the bar.
        var bar = scaleBar();
        ctx.textBaseline = 'bottom';
        for (lat = Math.ceil(south / step) * step; lat <= north; lat += step) {
            var y = screenY(worldY(lat)) - 2;
            var x = y > bar.top && y - 13 < bar.bottom ? bar.right + 4 : 3;
            ctx.fillText(latLabel(Math.abs(lat) < step / 2 ? 0 : lat, d), x, y);
        }
    }

    // The scale bar: about 100 pixels of a round distance at the view's centre, in the lower
    // left corner on a box from `top` to `bottom` and up to `right`.
    function scaleBar() {
        var metresPerPixel = EARTH_CIRCUMFERENCE * Math.cos(latOf(view.y) * Math.PI / 180) / scale();
        var target = metresPerPixel * 100, unit = Math.pow(10, Math.floor(Math.log(target) / Math.LN10));
        var metres = unit * (target >= 5 * unit ? 5 : target >= 2 * unit ? 2 : 1);
        var length = metres / metresPerPixel;
        var x = 12, y = canvas.height - 14;
        return {metres: metres, length: length, x: x, y: y,
                top: y - 18, bottom: y + 8, right: x + length + 6};
    }

    function drawScaleBar() {
        var bar = scaleBar();
        var metres = bar.metres, length = bar.length, x = bar.x, y = bar.y;
        ctx.fillStyle = 'rgba(255, 255, 255, 0.75)';
        ctx.fillRect(x - 6, y - 18, length + 12, 26);
        ctx.strokeStyle = '#202830';
        ctx.lineWidth = 2;
        ctx.beginPath();
        ctx.moveTo(x, y - 5);
        ctx.lineTo(x, y);
        ctx.lineTo(x + length, y);
        ctx.lineTo(x + length, y - 5);
        ctx.stroke();
        ctx.fillStyle = '#202830';
        ctx.font = '11px sans-serif';
        ctx.textAlign = 'center';
        ctx.textBaseline = 'bottom';
        ctx.fillText(metres >= 1000 ? metres / 1000 + ' km' : metres + ' m', x + length / 2, y - 3);
    }

    function drawMarker() {
        if (!marker)
            return;
        var x = screenX(marker.x), y = screenY(marker.y);
        ctx.globalAlpha = 1;
        ctx.beginPath();
        ctx.arc(x, y, 9, 0, Math.PI * 2);
        ctx.fillStyle = '#ffffff';
        ctx.fill();
        ctx.beginPath();
        ctx.arc(x, y, 6, 0, Math.PI * 2);
        ctx.fillStyle = '#1565c0';
        ctx.fill();
    }

    function render() {
        var w = canvas.width, h = canvas.height;
        ctx.globalAlpha = 1;
        ctx.fillStyle = '#e9eef0';
        ctx.fillRect(0, 0, w, h);
        drawGrid();
        if (track && track.n) {
            if (!layerFits())
                drawLayer();
            var s = scale();
            ctx.drawImage(surface.canvas, (layer.x - view.x) * s - w / 2, (layer.y - view.y) * s - h / 2);
        }
        drawMarker();
        drawScaleBar();
    }

    // ---- input
    function zoomAt(px, py, by) {
        var ux = unitX(px), uy = unitY(py);
        fitPending = false;
        view.zoom += by;
        keepInWorld();
        view.x = ux - (px - canvas.width / 2) / scale();
        view.y = uy - (py - canvas.height / 2) / scale();
        keepInWorld();
        render();
    }

    function listen() {
        canvas.addEventListener('mousedown', function (e) {
            if (e.button === 0)
                drag = {x: e.clientX, y: e.clientY};
        });
        canvas.addEventListener('mousemove', function (e) {
            if (!drag)
                return;
            view.x -= (e.clientX - drag.x) / scale();
            view.y -= (e.clientY - drag.y) / scale();
            keepInWorld();
            drag.x = e.clientX;
            drag.y = e.clientY;
            render();
        });
        canvas.addEventListener('mouseup', function () { drag = null; });
        canvas.addEventListener('wheel', function (e) {
            e.preventDefault();
            zoomAt(e.clientX, e.clientY, e.deltaY < 0 ? 1 : -1);
        });
        canvas.addEventListener('dblclick', function (e) { zoomAt(e.clientX, e.clientY, 1); });
        window.addEventListener('resize', function () {
            layer = null;
            if (fitPending && track && track.n)
                fitTrack();
            render();
        });
    }

    // ---- what the viewer calls
    var api = {
        initialize: function () {
            view = {x: worldX(0), y: worldY(20), zoom: 1};
            drag = null;
            fitPending = false;
            render();
        },
        removePolyLine: function () {
            track = null;
            layer = null;
            fitPending = false;
            render();
        },
        removePoint: function () {
            marker = null;
            render();
        },
        // lon, lat: decimal degrees as texts; (0, 0) takes the marker away. level -1 keeps the
        // zoom; another level from 1 to 20 is the zoom to show the position at. The view moves
        // to the position when it would leave the inner part of the map.
        MapMoveToAuto: function (lon, lat, level) {
            lon = number(lon);
            lat = number(lat);
            level = number(level);
            if (!isFinite(lon) || !isFinite(lat) || Math.abs(lon) > 180 || Math.abs(lat) > 90)
                return;
            if (lon === 0 && lat === 0) {
                marker = null;
                render();
                return;
            }
            var m = datum.toMap(lon, lat);
            marker = {x: worldX(m[0]), y: worldY(m[1])};
            if (level >= MIN_ZOOM && level <= MAX_ZOOM) {
                view.zoom = Math.round(level);
                fitPending = false;
            }
            var sx = screenX(marker.x), sy = screenY(marker.y);
            var mx = canvas.width * 0.15, my = canvas.height * 0.15;
            if (level >= MIN_ZOOM || sx < mx || sx > canvas.width - mx || sy < my || sy > canvas.height - my) {
                view.x = marker.x;
                view.y = marker.y;
                keepInWorld();
            }
            render();
        },
        // text: "lon,lat|lon,lat|..."; color: a CSS colour; width: pixels; alpha: 0..1.
        addPolyLine: function (text, color, width, alpha) {
            var parsed = parseTrack(String(text));
            width = number(width);
            alpha = number(alpha);
            parsed.color = typeof color === 'string' ? color : 'red';
            parsed.width = width > 0 && width < 100 ? width : 4;
            parsed.alpha = alpha >= 0 && alpha <= 1 ? alpha : 1;
            track = parsed;
            layer = null;
            if (track.n)
                fitTrack();
            render();
        },
        // The shown area in WGS84 decimal degrees, "west,north,east,south", stored in the
        // page's form field and returned.
        fnGetExtentWGS84: function () {
            var w = canvas.width, h = canvas.height;
            var nw = datum.fromMap(lonOf(unitX(0)), latOf(Math.max(0, unitY(0))));
            var se = datum.fromMap(lonOf(unitX(w)), latOf(Math.min(1, unitY(h))));
            var text = [nw[0], nw[1], se[0], se[1]].map(function (v) { return v.toFixed(6); }).join(',');
            var form = document.forms[document.forms.length - 1];
            if (form && form.elements.length)
                form.elements[0].value = text;
            return text;
        }
    };

    return {
        // Starts the map on a canvas with a datum {toMap(lon, lat), fromMap(x, y)} (with
        // identity: true when both give back what they are given, or toMapAll(values, count)
        // that moves the first count numbers of values, longitude and latitude by turns, in
        // place as toMap would) and makes the viewer's calls global functions.
        start: function (target, pageDatum) {
            canvas = target;
            ctx = canvas.getContext('2d');
            datum = pageDatum;
            for (var name in api)
                window[name] = api[name];
            listen();
            api.initialize();
            window.addEventListener('load', function () {
                if (window.Dashcam) {
                    try {
                        window.Dashcam.doc_load_complete();
                    } catch (e) {
                    }
                }
            });
        },
        view: function () { return {x: view.x, y: view.y, zoom: view.zoom}; }
    };
})();
