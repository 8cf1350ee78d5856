<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Controls</name>
    <message>
        <source>将鼠标移到理想皮肤处点击可选取标准肤色！</source>
        <translation>Point at ideal skin and click to pick the reference colour.</translation>
    </message>
    <message>
        <source>校正效果预览区</source>
        <translation>Preview area</translation>
    </message>
    <message>
        <source>最终效果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>校正效果图</source>
        <translation>Corrected preview</translation>
    </message>
    <message>
        <source>效果预览</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>标准照片区</source>
        <translation>Reference photo area</translation>
    </message>
    <message>
        <source>按下鼠标移动后放开可移动照片</source>
        <translation>Drag to move the photo</translation>
    </message>
    <message>
        <source>标准照片</source>
        <translation>Reference</translation>
    </message>
    <message>
        <source>将鼠标移动到理想皮肤颜色处点击选取皮肤样品！</source>
        <translation>Point at the ideal skin colour and click to pick it.</translation>
    </message>
    <message>
        <source>皮肤样本区</source>
        <translation>Skin samples</translation>
    </message>
    <message>
        <source>皮肤样本一</source>
        <translation>Skin sample 1</translation>
    </message>
    <message>
        <source>皮肤样本二</source>
        <translation>Skin sample 2</translation>
    </message>
    <message>
        <source>皮肤样本三</source>
        <translation>Skin sample 3</translation>
    </message>
    <message>
        <source>皮肤样本四</source>
        <translation>Skin sample 4</translation>
    </message>
    <message>
        <source>校正进度</source>
        <translation>Correction progress</translation>
    </message>
    <message>
        <source>将校正照片区</source>
        <translation>Photo to correct area</translation>
    </message>
    <message>
        <source>将校正照片</source>
        <translation>Photo to correct</translation>
    </message>
    <message>
        <source>将鼠标移动到需校正到皮肤样品一样的地方点击选取校正点！</source>
        <translation>Point at the skin that should match the sample and click to pick it.</translation>
    </message>
    <message>
        <source>校正工具</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Reload</translation>
    </message>
    <message>
        <source>校正</source>
        <translation>Correct</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>校正量</source>
        <translation>Δ</translation>
    </message>
    <message>
        <source>红色校正量</source>
        <translation>Red difference</translation>
    </message>
    <message>
        <source>绿色校正量</source>
        <translation>Green difference</translation>
    </message>
    <message>
        <source>蓝色校正量</source>
        <translation>Blue difference</translation>
    </message>
    <message>
        <source>校正工具栏</source>
        <translation>Photo to correct</translation>
    </message>
    <message>
        <source>导入将校正照片</source>
        <translation>Open photo</translation>
    </message>
    <message>
        <source>将校正照片鼠标位置</source>
        <translation>Pointer on photo to correct</translation>
    </message>
    <message>
        <source>将校正红色值</source>
        <translation>Photo red</translation>
    </message>
    <message>
        <source>将校正绿色值</source>
        <translation>Photo green</translation>
    </message>
    <message>
        <source>将校正蓝色值</source>
        <translation>Photo blue</translation>
    </message>
    <message>
        <source>标准照片栏</source>
        <translation>Reference photo</translation>
    </message>
    <message>
        <source>导入标准照片</source>
        <translation>Open reference</translation>
    </message>
    <message>
        <source>标准照片鼠标位置</source>
        <translation>Pointer on reference photo</translation>
    </message>
    <message>
        <source>标准红色值</source>
        <translation>Reference red</translation>
    </message>
    <message>
        <source>标准绿色值</source>
        <translation>Reference green</translation>
    </message>
    <message>
        <source>标准蓝色值</source>
        <translation>Reference blue</translation>
    </message>
    <message>
        <source>皮肤样本</source>
        <translation>Samples</translation>
    </message>
</context>
<context>
    <name>Desktop</name>
    <message>
        <source>BMP图像(*.BMP)</source>
        <translation>BMP images (*.BMP)</translation>
    </message>
    <message>
        <source>JPG图像(*.jpg)</source>
        <translation>JPEG images (*.jpg)</translation>
    </message>
    <message>
        <source>GIF图像(*.gif)</source>
        <translation>GIF images (*.gif)</translation>
    </message>
    <message>
        <source>ICO图像(*.ico)</source>
        <translation>ICO images (*.ico)</translation>
    </message>
    <message>
        <source>所有照片(*.jpg *.jpeg *.png *.bmp *.gif *.ico *.tif *.tiff *.webp *.heic *.heif)</source>
        <translation>All photos (*.jpg *.jpeg *.png *.bmp *.gif *.ico *.tif *.tiff *.webp *.heic *.heif)</translation>
    </message>
</context>
<context>
    <name>Lifecycle</name>
    <message>
        <source>使用指南</source>
        <translation>How to use</translation>
    </message>
    <message>
        <source>本软件可快速把MM光线不好或偏色的照片进行校正,方法是分别导入一理想的图片(也可直接在皮肤样本中选择)和希望调整的MM照片,然后用鼠标选择理想照片(或皮肤样本)中最美的肤色和要调整到该肤色的照片中的相应位置,点击校正即可,不满意可刷新后再试,直到满意后点击保存即可把该照片保存为jpeg格式图片(注意:保存的图片将替换原来的图片且不可恢复)！</source>
        <translation>This program quickly corrects portraits taken in poor light or with a colour cast. Open an ideal photo (or use a skin sample) and the photo you want to adjust. Click the most beautiful skin in the ideal photo (or a sample), then the matching spot in the photo to adjust, and click Correct. Not happy? Click Reload and try again. When you like the result, click Save to store the photo as a JPEG (note: the saved photo replaces the original and cannot be restored)!</translation>
    </message>
    <message>
        <source>你已经运行这个应用程序了</source>
        <translation>This program is already running.</translation>
    </message>
</context>
<context>
    <name>MainForm</name>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>无法打开该图片文件！</source>
        <translation>Cannot open this picture file.</translation>
    </message>
    <message>
        <source>内存不足，无法完成该操作！</source>
        <translation>Not enough memory to finish this operation.</translation>
    </message>
    <message>
        <source>颜色数值无效！请重新选点！</source>
        <translation>Invalid colour value. Please pick the points again.</translation>
    </message>
    <message>
        <source>保存失败</source>
        <translation>Saving failed</translation>
    </message>
    <message>
        <source>照片已保存为 %1</source>
        <translation>Photo saved as %1</translation>
    </message>
    <message>
        <source>、</source>
        <comment>between the names of metadata parts</comment>
        <translation>, </translation>
    </message>
    <message>
        <source>%1，但其中的%2未能保留。</source>
        <translation>%1, but its %2 could not be kept.</translation>
    </message>
    <message>
        <source>照片已保存，但其中的%1未能保留。</source>
        <translation>Photo saved, but its %1 could not be kept.</translation>
    </message>
    <message>
        <source>鼠标 X=%1  Y=%2</source>
        <translation>Mouse X=%1  Y=%2</translation>
    </message>
    <message>
        <source>请首先选择皮肤样本或在标准照片中选择理想皮肤！</source>
        <translation>First choose a skin sample or pick the ideal skin in the reference photo.</translation>
    </message>
    <message>
        <source>你还没有选择皮肤样本和需要的皮肤校正点！请重新选点！</source>
        <translation>You have not picked the ideal skin and the skin to correct yet. Please pick the points again.</translation>
    </message>
    <message>
        <source>需校正色差过大！请重新选点！</source>
        <translation>The colour difference is too large to correct. Please pick the points again.</translation>
    </message>
    <message>
        <source>已完成_%1%</source>
        <translation>Done %1%</translation>
    </message>
    <message>
        <source>未找到人脸，请手动选取皮肤！</source>
        <translation>No face found. Please pick the skin by hand.</translation>
    </message>
</context>
<context>
    <name>MetadataNames</name>
    <message>
        <source>ICC 色彩配置文件</source>
        <translation>ICC colour profile</translation>
    </message>
    <message>
        <source>元数据</source>
        <translation>metadata</translation>
    </message>
</context>
<context>
    <name>SampleSizeMenu</name>
    <message>
        <source>取样大小</source>
        <translation>Sample size</translation>
    </message>
    <message>
        <source>单个像素</source>
        <translation>Single pixel</translation>
    </message>
    <message>
        <source>%1×%1 平均</source>
        <translation>%1×%1 average</translation>
    </message>
    <message>
        <source>应用到其他照片…</source>
        <translation>Apply to other photos…</translation>
    </message>
    <message>
        <source>自动选取肤色</source>
        <translation>Pick skin automatically</translation>
    </message>
    <message>
        <source>逐张匹配肤色…</source>
        <translation>Match each photo's skin…</translation>
    </message>
</context>
<context>
    <name>SeriesFlow</name>
    <message>
        <source>无法打开该图片文件</source>
        <translation>cannot open this picture file</translation>
    </message>
    <message>
        <source>内存不足</source>
        <translation>not enough memory</translation>
    </message>
    <message>
        <source>未找到人脸</source>
        <translation>no face found</translation>
    </message>
    <message>
        <source>需校正色差过大</source>
        <translation>the correction it needs is too large</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>：照片已保存，但其中的%1未能保留。</source>
        <translation>: saved, but its %1 could not be kept.</translation>
    </message>
    <message>
        <source>、</source>
        <comment>between the names of metadata parts</comment>
        <translation>, </translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>not enough disk space</translation>
    </message>
    <message>
        <source>没有写入权限</source>
        <translation>no permission to write</translation>
    </message>
    <message>
        <source>文件名过长</source>
        <translation>file name too long</translation>
    </message>
    <message>
        <source>无法写入文件</source>
        <translation>cannot write the file</translation>
    </message>
    <message>
        <source>选择保存校正后照片的文件夹</source>
        <translation>Choose a folder for the corrected photos</translation>
    </message>
    <message>
        <source>应用到其他照片</source>
        <translation>Apply to other photos</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>正在校正并保存照片：%1 / %2</source>
        <translation>Correcting and saving photos: %1 / %2</translation>
    </message>
    <message>
        <source>已保存 %1 张照片，%2 张未能保存。</source>
        <translation>Photos saved: %1; not saved: %2.</translation>
    </message>
    <message>
        <source>已保存 %1 张照片。</source>
        <translation>Photos saved: %1.</translation>
    </message>
    <message>
        <source>已取消。</source>
        <translation>Cancelled. </translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
</context>
</TS>
