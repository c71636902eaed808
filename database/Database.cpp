#include "database/Database.h"

#include "database/engine/Text.h"

#include <algorithm>

namespace quorvalis
{

namespace
{

bool NamesMatch(const std::string& a, const std::string& b, bool caseSensitive)
{
    return caseSensitive ? a == b : engine::EqualsNoCase(a, b);
}

} // namespace

// --- GFieldDefinitionList ---------------------------------------------------------------------

GFieldDefinition& GFieldDefinitionList::FieldByName(const std::string& name,
                                                    bool caseSensitive) const
{
    for (const auto& definition : items_)
        if (definition && NamesMatch(definition->Name, name, caseSensitive))
            return *definition;
    throw GDatabaseException("Field " + name + " not found");
}

// --- GField -----------------------------------------------------------------------------------

GField::GField(GRecordSet& recordSet, std::int32_t index,
               std::unique_ptr<GFieldDefinition> definition, bool readOnly)
    : recordSet_(&recordSet), index_(index), definition_(std::move(definition)), readOnly_(readOnly)
{
    if (!definition_)
        definition_ = std::make_unique<GFieldDefinition>();
}

GVariant GField::GetValue() const
{
    GVariant value = recordSet_->GetFieldValue(index_);
    if (!value.IsNull())
        return value;
    switch (definition_->FieldType)
    {
    case fdtInteger:
        return GVariant(0);
    case fdtFloat:
        return GVariant(0.0);
    case fdtString:
        return GVariant(std::string());
    case fdtBoolean:
        return GVariant(false);
    default:
        return value;
    }
}

void GField::SetValue(const GVariant& value)
{
    recordSet_->SetFieldValue(index_, value);
}

std::string GField::AsString() const
{
    if (definition_->FieldType == fdtBlob)
        return "(Blob)";
    return recordSet_->GetFieldAsString(index_);
}

void GField::SetAsString(const std::string& text)
{
    recordSet_->SetFieldAsString(index_, text);
}

// --- GFieldList -------------------------------------------------------------------------------

GField* GFieldList::FindField(const std::string& name, bool caseSensitive) const
{
    for (const auto& field : items_)
        if (field && NamesMatch(field->Name(), name, caseSensitive))
            return field.get();
    return nullptr;
}

GField& GFieldList::FieldByName(const std::string& name, bool caseSensitive) const
{
    if (GField* field = FindField(name, caseSensitive))
        return *field;
    throw GDatabaseException("Field " + name + " not found");
}

void GFieldList::GetFieldNames(std::vector<std::string>& strings, bool includeHidden) const
{
    std::vector<std::string> names;
    for (const auto& field : items_)
        if (field && (includeHidden || !field->Hidden()))
            names.push_back(field->Name());
    strings = std::move(names);
}

// --- GRecordInformationList -------------------------------------------------------------------

void GRecordInformationList::CheckIndex(std::int32_t index) const
{
    if (index < 0 || index >= Count())
        throw GContainerException("Container index out of bounds.");
}

GRecordInformation& GRecordInformationList::GetItem(std::int32_t index)
{
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)];
}

const GRecordInformation& GRecordInformationList::GetItem(std::int32_t index) const
{
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)];
}

void GRecordInformationList::Delete(std::int32_t index)
{
    CheckIndex(index);
    items_.erase(items_.begin() + index);
}

void GRecordInformationList::Reserve(std::int32_t count)
{
    if (count > 0)
        items_.reserve(static_cast<std::size_t>(count));
}

// --- GRecordSet -------------------------------------------------------------------------------

GRecordSet::GRecordSet() = default;

GRecordSet::~GRecordSet()
{
    // A destructor must not throw: an unfinished edit is dropped, then the record set closes.
    AbandonEdit();
    try
    {
        Close();
    }
    catch (...)
    {
    }
}

void GRecordSet::AbandonEdit()
{
    if (state_ == rsAppend)
    {
        if (recordInformation_.Count() > recordCount_)
            recordInformation_.Delete(recordInformation_.Count() - 1);
        recordIndex_ = std::min(appendReturnIndex_, recordCount_);
    }
    state_ = rsBrowse;
}

void GRecordSet::CheckEditing() const
{
    if (!IsEditing())
        throw GDatabaseException("You are not in edit mode");
}

void GRecordSet::CheckSpatial() const
{
    if (!hasSpatialComponent_)
        throw GDatabaseException("The recordset does not contain a spatial component");
}

void GRecordSet::CheckInactive() const
{
    if (active_)
        throw GDatabaseException("You cannot change this property while the recordset is active");
}

GField* GRecordSet::FindCoordinateField(const std::string& name) const
{
    return name.empty() ? nullptr : fields_.FindField(name, false);
}

std::unique_ptr<GPoint> GRecordSet::PointFromFields(const std::string& x, const std::string& y,
                                                    const std::string& z) const
{
    auto point = std::make_unique<GPoint>(0.0, 0.0, 0.0);
    const std::pair<const std::string*, double*> coordinates[] = {
        {&x, &point->X}, {&y, &point->Y}, {&z, &point->Z}};
    for (const auto& [name, target] : coordinates)
    {
        if (const GField* field = FindCoordinateField(*name))
        {
            const GVariant value = field->GetValue();
            if (!value.IsNull())
                *target = value.AsDouble();
        }
        else if (name != &z && !name->empty())
            throw GDatabaseException("Field " + *name + " not found");
    }
    return point;
}

void GRecordSet::StorePointInFields(const GShape& shape, const std::string& x, const std::string& y,
                                    const std::string& z)
{
    const auto* point = dynamic_cast<const GPoint*>(&shape);
    if (point == nullptr)
        throw GDatabaseException("You can only store points in this recordset");
    const std::pair<const std::string*, double> coordinates[] = {
        {&x, point->X}, {&y, point->Y}, {&z, point->Z}};
    for (const auto& [name, value] : coordinates)
        if (GField* field = FindCoordinateField(*name))
            field->SetValue(GVariant(value));
}

bool GRecordSet::Open()
{
    if (active_)
        Close();
    if (BeforeOpen)
        BeforeOpen(*this);
    state_ = rsBrowse;
    recordIndex_ = 0;
    if (!DoOpen())
        return false;
    recordCount_ = DoGetRecordCount();
    DoLoadFields();
    recordInformation_.Clear();
    recordInformation_.Reserve(recordCount_);
    for (std::int32_t i = 0; i < recordCount_; ++i)
        recordInformation_.Add();
    hasSpatialComponent_ = DoHasSpatialComponent();
    active_ = true;
    return true;
}

void GRecordSet::Close()
{
    if (IsEditing())
        throw GDatabaseException("Cannot close the recordset while in edit mode");
    if (!active_)
        return;
    if (BeforeClose)
        BeforeClose(*this);
    recordInformation_.Clear();
    fields_.Clear();
    recordCount_ = 0;
    recordIndex_ = 0;
    active_ = false;
    state_ = rsBrowse;
    DoClose();
}

void GRecordSet::First()
{
    if (IsEditing())
        throw GDatabaseException("You are currently editing a record");
    if (BeforeScroll)
        BeforeScroll(*this);
    recordIndex_ = 0;
    DoFirst();
}

void GRecordSet::Next()
{
    if (IsEditing())
        throw GDatabaseException("You are currently editing a record");
    if (BeforeScroll)
        BeforeScroll(*this);
    recordIndex_ = std::min(recordIndex_ + 1, recordCount_);
    DoNext();
}

void GRecordSet::Append()
{
    if (IsEditing())
        throw GDatabaseException("You cannot add a record while in edit mode");
    if (BeforeAppend)
        BeforeAppend(*this);
    appendReturnIndex_ = recordIndex_;
    state_ = rsAppend;
    recordInformation_.Add();
    recordIndex_ = recordCount_;
    try
    {
        DoAppend();
    }
    catch (...)
    {
        // The storage refused the new record (a read-only table, say): the record set stays
        // as it was instead of being stuck in an append it can neither post nor leave.
        AbandonEdit();
        throw;
    }
}

void GRecordSet::Edit()
{
    if (IsEditing())
        throw GDatabaseException("You are already editing the record");
    if (BeforeEdit)
        BeforeEdit(*this);
    state_ = rsEdit;
    try
    {
        DoEdit();
    }
    catch (...)
    {
        state_ = rsBrowse;
        throw;
    }
}

void GRecordSet::Post()
{
    if (!IsEditing())
        throw GDatabaseException("You are not editing the record");
    bool accept = true;
    if (BeforePost)
        BeforePost(*this, accept);
    if (!accept)
        return;
    DoPost();
    state_ = rsBrowse;
    if (AfterPost)
        AfterPost(*this);
}

void GRecordSet::Flush()
{
    if (IsEditing())
        throw GDatabaseException("Cannot flush the recordset while in edit mode");
    DoFlush();
    First();
}

std::unique_ptr<GShape> GRecordSet::GetShape()
{
    std::unique_ptr<GShape> shape = DoGetShape();
    if (OnGetShape)
        OnGetShape(*this, shape.get());
    return shape;
}

void GRecordSet::SetShape(const GShape& shape)
{
    if (OnSetShape)
        OnSetShape(*this, shape);
    DoSetShape(shape);
}

void GRecordSet::SetShape(std::unique_ptr<GShape> shape)
{
    if (!shape)
        throw GDatabaseException("There is no shape to set");
    if (OnSetShape)
        OnSetShape(*this, *shape);
    DoTakeShape(std::move(shape));
}

GVariant GRecordSet::GetFieldValue(std::int32_t)
{
    return GVariant();
}

void GRecordSet::SetFieldValue(std::int32_t, const GVariant&)
{
    CheckEditing();
}

std::string GRecordSet::GetFieldAsString(std::int32_t)
{
    return {};
}

void GRecordSet::SetFieldAsString(std::int32_t, const std::string&)
{
    CheckEditing();
}

void GRecordSet::LoadFieldFromStream(std::int32_t, GStream&)
{
    CheckEditing();
}

void GRecordSet::SaveFieldToStream(std::int32_t, GStream&) {}

std::unique_ptr<GShape> GRecordSet::GetShapeAt(std::int32_t)
{
    CheckSpatial();
    return nullptr;
}

const GShape* GRecordSet::LentShapeAt(std::int32_t) const
{
    throw GDatabaseException("The recordset does not lend its shapes");
}

bool GRecordSet::GetCachedUpdates()
{
    return false;
}

void GRecordSet::SetCachedUpdates(bool)
{
    CheckInactive();
}

bool GRecordSet::GetReadOnly()
{
    return true;
}

void GRecordSet::SetReadOnly(bool)
{
    CheckInactive();
}

engine::DataSet* GRecordSet::GetDataSet()
{
    if (!active_)
        throw GDatabaseException("The recordset must be open to access the dataset");
    return nullptr;
}

bool GRecordSet::CreateTable(const GRecordSetDefinition&)
{
    return false;
}

std::unique_ptr<GRecordSetDefinition> GRecordSet::GetDefinition()
{
    if (!active_)
        throw GDatabaseException("The recordset must be active to perform this function");
    return nullptr;
}

void GRecordSet::DoLoadFields() {}

std::unique_ptr<GShape> GRecordSet::DoGetShape()
{
    CheckSpatial();
    return nullptr;
}

void GRecordSet::DoSetShape(const GShape&)
{
    CheckEditing();
    CheckSpatial();
}

void GRecordSet::DoTakeShape(std::unique_ptr<GShape> shape)
{
    DoSetShape(*shape);
}

void GRecordSet::DoAppend() {}

void GRecordSet::DoCancel() {}

void GRecordSet::DoDelete()
{
    if (recordCount_ > 0)
    {
        --recordCount_;
        if (recordIndex_ >= 0 && recordIndex_ < recordInformation_.Count())
            recordInformation_.Delete(recordIndex_);
        else if (recordInformation_.Count() > recordCount_)
            recordInformation_.Delete(recordInformation_.Count() - 1);
    }
}

void GRecordSet::DoEdit() {}

void GRecordSet::DoPost()
{
    if (state_ == rsAppend)
        ++recordCount_;
}

void GRecordSet::DoFirst() {}

void GRecordSet::DoMoveBy(std::int32_t) {}

void GRecordSet::DoNext() {}

void GRecordSet::DoPrior() {}

void GRecordSet::DoClose() {}

bool GRecordSet::DoOpen()
{
    return false;
}

void GRecordSet::DoFlush() {}

std::int32_t GRecordSet::DoGetRecordCount()
{
    return 0;
}

bool GRecordSet::DoHasSpatialComponent()
{
    return false;
}

} // namespace quorvalis
